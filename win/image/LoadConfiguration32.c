// The load configuration of a 32-bit image we ship (IMAGE_LOAD_CONFIG_DIRECTORY32 of the PE format, through the
// long-jump target table): what LoadConfiguration64.c says of the 64-bit one holds here, in the 32-bit layout
// (ProcessHeapFlags before ProcessAffinityMask, every address 32 bits). The image declares no structured
// exception handler (NO_SEH), so its handler table stays empty.
__asm__(
    ".section .rdata$load_config,\"dr\"\n"
    ".globl __load_config_used\n"
    ".p2align 2\n"
    "__load_config_used:\n"
    "  .long 120\n"                   // Size: through GuardLongJumpTargetCount
    "  .long 0\n"                     // TimeDateStamp
    "  .short 0, 0\n"                 // MajorVersion, MinorVersion
    "  .long 0, 0, 0\n"               // GlobalFlagsClear, GlobalFlagsSet, CriticalSectionDefaultTimeout
    "  .long 0, 0, 0, 0, 0\n"         // DeCommit thresholds, LockPrefixTable, allocation and memory limits
    "  .long 0, 0\n"                  // ProcessHeapFlags, ProcessAffinityMask
    "  .short 0\n"                    // CSDVersion
    "  .short 0x0800\n"               // DependentLoadFlags: LOAD_LIBRARY_SEARCH_SYSTEM32
    "  .long 0\n"                     // EditList
    "  .long 0\n"                     // SecurityCookie: none; the stack protector keeps its own (StackGuard.c)
    "  .long 0, 0\n"                  // SEHandlerTable, SEHandlerCount: none (NO_SEH)
    "  .long ___guard_check_icall_fptr\n"
    "  .long 0\n"                     // GuardCFDispatchFunctionPointer: 32-bit code checks, never dispatches
    "  .long ___guard_fids_table, ___guard_fids_count\n"
    "  .long ___guard_flags\n"
    "  .short 0, 0\n"                 // CodeIntegrity: Flags, Catalog
    "  .long 0, 0\n"                  //                CatalogOffset, Reserved
    "  .long ___guard_iat_table, ___guard_iat_count\n"
    "  .long ___guard_longjmp_table, ___guard_longjmp_count\n"

    // The default. A 32-bit indirect call is checked as `call *___guard_check_icall_fptr` with its target in ecx,
    // which may change no register.
    ".section .text$guard_defaults,\"xr\"\n"
    ".p2align 4\n"
    "_quillery_guard_check_nothing:\n"
    "  ret\n"

    ".section .00cfg,\"dr\"\n"
    ".p2align 2\n"
    ".globl ___guard_check_icall_fptr\n"
    "___guard_check_icall_fptr:\n"
    "  .long _quillery_guard_check_nothing\n"
    // The guard's table lists every function our own code takes the address of; the C runtime's objects carry no
    // such list. These are the runtime's functions Windows calls through a pointer: the TLS callbacks of its TLS
    // support (cmake/QuilleryShipping.cmake).
    ".section .gfids$y,\"dr\"\n"
    "  .symidx ___dyn_tls_init@12\n"
    "  .symidx ___dyn_tls_dtor@12\n"
    ".text\n");
