// The validating flavour's check function of 32-bit code (GuardValidator.c): the compiler calls it with the
// target in ecx and counts on every register's value but the flags. 32-bit code never dispatches.
__asm__(
    ".text\n"
    ".p2align 4\n"
    ".globl _quillery_guard_check_validating\n"
    "_quillery_guard_check_validating:\n"
    "  push %eax\n  push %ecx\n  push %edx\n"
    "  push %ecx\n"
    "  call _quillery_guard_validate\n"
    "  add $4, %esp\n"
    "  pop %edx\n  pop %ecx\n  pop %eax\n"
    "  ret\n"
    ".globl _quillery_guard_dispatch_validating\n"
    "_quillery_guard_dispatch_validating:\n"
    "  ud2\n");
