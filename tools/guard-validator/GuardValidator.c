// The validating flavour's Control Flow Guard: linked into a copy of a shipped library or program, it does at
// load what Windows does for a process that enforces the guard, which Wine does not: it writes its own check
// and dispatch functions into the pointers the image's load configuration names. Every indirect call the
// image's code makes then asks it first, and a target inside the image that the image's own function table
// does not list stops the process at once, naming the target, where Windows would stop Office. A target in
// another module is that module's table's business, and goes through.
#include <windows.h>

#include <stdint.h>

// STATUS_STACK_BUFFER_OVERRUN, the code a failed guard check ends a process with on Windows.
#define GUARD_STOP_CODE 0xC0000409u
// IMAGE_GUARD_* of the load configuration's GuardFlags.
#define GUARD_TABLE_STRIDE_SHIFT 28
#define GUARD_FLAG_FID_SUPPRESSED 0x01
#define GUARD_FLAG_EXPORT_SUPPRESSED 0x02

extern IMAGE_DOS_HEADER __ImageBase;

// What follows IMAGE_LOAD_CONFIG_DIRECTORY's fields up to SEHandlerCount, which the platform headers here end
// with; the PE format continues in this order.
typedef struct {
    ULONG_PTR checkPointer;
    ULONG_PTR dispatchPointer;
    ULONG_PTR table;
    ULONG_PTR count;
    DWORD flags;
} GuardFields;

static const unsigned char* tableStart;
static size_t tableCount;
static size_t tableStride;

static const GuardFields* guardFields(void) {
    const unsigned char* base = (const unsigned char*)&__ImageBase;
    const IMAGE_NT_HEADERS* headers = (const IMAGE_NT_HEADERS*)(base + __ImageBase.e_lfanew);
    const IMAGE_DATA_DIRECTORY* directory =
        &headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG];
    const IMAGE_LOAD_CONFIG_DIRECTORY* config =
        (const IMAGE_LOAD_CONFIG_DIRECTORY*)(base + directory->VirtualAddress);
    if (directory->VirtualAddress == 0 || config->Size < sizeof *config + sizeof(GuardFields)) return 0;
    return (const GuardFields*)((const unsigned char*)config + sizeof *config);
}

static void writeText(HANDLE output, const char* text) {
    DWORD written;
    WriteFile(output, text, (DWORD)lstrlenA(text), &written, 0);
}

static void writeHex(HANDLE output, uintptr_t value) {
    char text[2 + 2 * sizeof value + 1];
    size_t at = sizeof text - 1;
    text[at] = 0;
    do {
        text[--at] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    } while (value != 0);
    text[--at] = 'x';
    text[--at] = '0';
    writeText(output, text + at);
}

static __attribute__((noreturn)) void stop(uintptr_t target, const char* why) {
    char module[MAX_PATH];
    const DWORD length = GetModuleFileNameA((HMODULE)&__ImageBase, module, sizeof module);
    module[length < sizeof module ? length : 0] = 0;
    HANDLE output = GetStdHandle(STD_ERROR_HANDLE);
    writeText(output, "CONTROL FLOW GUARD STOP: an indirect call in ");
    writeText(output, module);
    writeText(output, " to ");
    writeHex(output, target);
    writeText(output, " (image address ");
    writeHex(output, target - (uintptr_t)&__ImageBase);
    writeText(output, "): ");
    writeText(output, why);
    writeText(output, "\r\n");
    OutputDebugStringA("CONTROL FLOW GUARD STOP\n");
    TerminateProcess(GetCurrentProcess(), GUARD_STOP_CODE);
    __builtin_trap();
}

// Called with every indirect call's target before the call is made.
void quillery_guard_validate(uintptr_t target) {
    const uintptr_t base = (uintptr_t)&__ImageBase;
    const IMAGE_NT_HEADERS* headers = (const IMAGE_NT_HEADERS*)(base + __ImageBase.e_lfanew);
    if (target - base >= headers->OptionalHeader.SizeOfImage) return;
    const uint32_t address = (uint32_t)(target - base);
    size_t low = 0, high = tableCount;
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        const unsigned char* entry = tableStart + middle * tableStride;
        const uint32_t listed = (uint32_t)entry[0] | (uint32_t)entry[1] << 8 | (uint32_t)entry[2] << 16 |
                                (uint32_t)entry[3] << 24;
        if (listed == address) {
            if (tableStride > 4 && (entry[4] & (GUARD_FLAG_FID_SUPPRESSED | GUARD_FLAG_EXPORT_SUPPRESSED)))
                stop(target, "the function table lists it as suppressed");
            return;
        }
        if (listed < address)
            low = middle + 1;
        else
            high = middle;
    }
    stop(target, "not in the image's function table");
}

// The check and dispatch functions the pointers lead to (GuardStubs64.c, GuardStubs32.c: they keep every
// register).
extern void quillery_guard_check_validating(void);
extern void quillery_guard_dispatch_validating(void);

static void NTAPI installValidator(PVOID image, DWORD reason, PVOID reserved) {
    (void)image;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH) return;
    const GuardFields* fields = guardFields();
    if (!fields || fields->table == 0 || fields->checkPointer == 0)
        stop(0, "the image has no guard table to check against");
    tableStart = (const unsigned char*)fields->table;
    tableCount = fields->count;
    tableStride = 4 + (fields->flags >> GUARD_TABLE_STRIDE_SHIFT);
    // The pointers lie in read-only data, as Windows leaves them once it has written them.
    void** pointers[2] = {(void**)fields->checkPointer, (void**)fields->dispatchPointer};
    void* functions[2] = {(void*)quillery_guard_check_validating, (void*)quillery_guard_dispatch_validating};
    for (int index = 0; index < 2; ++index) {
        if (!pointers[index]) continue;
        DWORD was;
        if (!VirtualProtect(pointers[index], sizeof(void*), PAGE_READWRITE, &was))
            stop(0, "its pointers stay read-only");
        *pointers[index] = functions[index];
        VirtualProtect(pointers[index], sizeof(void*), was, &was);
    }
}

// Before every other TLS callback (the stack protector's seed is .CRT$XLB), so before any of the image's
// code.
__attribute__((section(".CRT$XLAV"), used)) PIMAGE_TLS_CALLBACK quillery_install_guard_validator =
    installValidator;
