// The load configuration of a 64-bit image we ship (IMAGE_LOAD_CONFIG_DIRECTORY64 of the PE format, through the
// long-jump target table). The linker points the image's load-configuration directory at _load_config_used and
// writes the guard tables whose symbols it names; everything else is ours to say:
//  - DependentLoadFlags: the loader resolves our static imports from System32 alone (LOAD_LIBRARY_SEARCH_SYSTEM32),
//    never from the folder of the program that loads us or the current directory;
//  - the guard's check and dispatch pointers, which Windows replaces at load when the process enforces Control
//    Flow Guard. Until then (older Windows, a process that does not enforce it) they lead to functions that let
//    every call through, as the platform's own defaults do.
// The assembler writes it because GuardFlags is an absolute value the linker defines, which C cannot narrow to
// the field's 32 bits in a constant initializer.
__asm__(
    ".section .rdata$load_config,\"dr\"\n"
    ".globl _load_config_used\n"
    ".p2align 3\n"
    "_load_config_used:\n"
    "  .long 192\n"                   // Size: through GuardLongJumpTargetCount
    "  .long 0\n"                     // TimeDateStamp
    "  .short 0, 0\n"                 // MajorVersion, MinorVersion
    "  .long 0, 0, 0\n"               // GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout
    "  .quad 0, 0, 0, 0, 0, 0\n"      // DeCommit thresholds, LockPrefixTable, allocation and memory limits,
                                      // ProcessAffinityMask
    "  .long 0\n"                     // ProcessHeapFlags
    "  .short 0\n"                    // CSDVersion
    "  .short 0x0800\n"               // DependentLoadFlags: LOAD_LIBRARY_SEARCH_SYSTEM32
    "  .quad 0\n"                     // EditList
    "  .quad 0\n"                     // SecurityCookie: none; the stack protector keeps its own (StackGuard.c)
    "  .quad 0, 0\n"                  // SEHandlerTable, SEHandlerCount: 32-bit images only
    "  .quad __guard_check_icall_fptr\n"
    "  .quad __guard_dispatch_icall_fptr\n"
    "  .quad __guard_fids_table, __guard_fids_count\n"
    "  .long __guard_flags\n"
    "  .short 0, 0\n"                 // CodeIntegrity: Flags, Catalog
    "  .long 0, 0\n"                  //                CatalogOffset, Reserved
    "  .quad __guard_iat_table, __guard_iat_count\n"
    "  .quad __guard_longjmp_table, __guard_longjmp_count\n"

    // The defaults. An indirect call is made as `call *__guard_dispatch_icall_fptr` with its target in rax, and
    // a check as `call *__guard_check_icall_fptr` with its target in rcx; neither may change a register.
    ".section .text$guard_defaults,\"xr\"\n"
    ".p2align 4\n"
    "quillery_guard_check_nothing:\n"
    "  ret\n"
    ".p2align 4\n"
    "quillery_guard_dispatch_unchecked:\n"
    "  jmp *%rax\n"

    // Read-only once loaded: the loader alone writes them, before any of our code runs.
    ".section .00cfg,\"dr\"\n"
    ".p2align 3\n"
    ".globl __guard_check_icall_fptr\n"
    "__guard_check_icall_fptr:\n"
    "  .quad quillery_guard_check_nothing\n"
    ".globl __guard_dispatch_icall_fptr\n"
    "__guard_dispatch_icall_fptr:\n"
    "  .quad quillery_guard_dispatch_unchecked\n"
    // The guard's table lists every function our own code takes the address of; the C runtime's objects carry no
    // such list. These are the runtime's functions Windows calls through a pointer: the TLS callbacks of its TLS
    // support (cmake/QuilleryShipping.cmake) and the exception handler its start-up code names in its unwind
    // information.
    ".section .gfids$y,\"dr\"\n"
    "  .symidx __dyn_tls_init\n"
    "  .symidx __dyn_tls_dtor\n"
    "  .symidx __C_specific_handler\n"
    ".text\n");
