// The stack protector's canary and its failure routines, in place of the runtime's (libssp), which seeds the
// canary through CryptGenRandom in a constructor of every module: a cryptographic provider loaded and asked
// at each cold start, 1.2 to 2 ms of it. The canary only has to be unknown to whoever overruns a buffer from
// outside the process, and different in every process and every load: the sources Windows' own /GS start-up
// takes (the time, the performance counter, the process and thread ids, the tick count) and the addresses
// that ASLR chose for the image and the stack give that, for a few instructions.
//
// The seed runs as the image's first TLS callback: before the C runtime's start-up and the constructors,
// before the entry point of the library or the program, so that no protected function is ever on the stack
// when the canary changes. It is itself protected by nothing (it has no array, and says so).
#include <windows.h>

#include <stdint.h>

uintptr_t __stack_chk_guard;

// A protected function found its canary overwritten: its stack frame is not ours any more, so nothing in this
// process is run again (no handler, no destructor, no message), as a failed /GS check does.
__attribute__((noreturn)) void __stack_chk_fail(void) {
    TerminateProcess(GetCurrentProcess(), (UINT)STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

// A checked string or memory function (_FORTIFY_SOURCE) was asked to write past the buffer it knew the size
// of.
__attribute__((noreturn)) void __chk_fail(void) {
    TerminateProcess(GetCurrentProcess(), (UINT)STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

// Spreads every input bit over the whole word (the finaliser of a 64-bit hash; the 32-bit canary keeps its
// low half, which every input reaches as well).
__attribute__((no_stack_protector)) static uint64_t mixed(uint64_t value) {
    value ^= value >> 33;
    value *= 0xFF51AFD7ED558CCDULL;
    value ^= value >> 33;
    value *= 0xC4CEB9FE1A85EC53ULL;
    value ^= value >> 33;
    return value;
}

__attribute__((no_stack_protector)) static void NTAPI seedStackGuard(PVOID image, DWORD reason,
                                                                     PVOID reserved) {
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    uint64_t seed =
        mixed((uint64_t)counter.QuadPart ^ ((uint64_t)now.dwHighDateTime << 32 | now.dwLowDateTime));
    seed = mixed(seed ^ ((uint64_t)GetCurrentProcessId() << 32 | GetCurrentThreadId()));
    seed = mixed(seed ^ (uint64_t)GetTickCount() ^ (uint64_t)(uintptr_t)image ^
                 ((uint64_t)(uintptr_t)&counter << 16));
    // A zero canary would be the one value a string copy writes by itself.
    __stack_chk_guard = (uintptr_t)seed ? (uintptr_t)seed : (uintptr_t)0x2B992DDFA232ULL;
}

// The C runtime's TLS directory calls the callbacks of .CRT$XLA to .CRT$XLZ in the order of their names; the
// runtime's own come from .CRT$XLC on.
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK quillery_seed_stack_guard = seedStackGuard;
