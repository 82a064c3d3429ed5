# Cross-builds the add-in and its Windows test programs with MinGW-w64 for 64-bit Windows (64-bit Office). The
# -posix compilers give std::mutex and std::thread; -static keeps the C++ runtime inside every binary so that
# they import system DLLs only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER   x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Hardening, said here rather than left to the defaults of the compiler and the linker (binutils 2.40 happens to
# turn some of it on; nothing would notice if a later version did not):
#  - a stack protector in every function with an array or an address taken of a local; its runtime (libssp)
#    comes in statically with -static, so no library is added to the imports;
#  - the checked forms of the string and print functions wherever the compiler knows a buffer's size (the
#    MinGW-w64 headers take _FORTIFY_SOURCE up in optimised code; the tests' unoptimised code ignores it);
#  - relocated to a random base with 64 bits of entropy (ASLR) and no data executable (DEP).
set(CMAKE_C_FLAGS_INIT   "-fstack-protector-strong -D_FORTIFY_SOURCE=2")
set(CMAKE_CXX_FLAGS_INIT "-fstack-protector-strong -D_FORTIFY_SOURCE=2")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat,--high-entropy-va")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat,--high-entropy-va")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# The type library compiler for this machine, and where the 64-bit Wine keeps the stdole2 library it imports.
set(QUILLERY_WIDL          x86_64-w64-mingw32-widl --win64)
set(QUILLERY_STDOLE2_DIR   /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)

# What ships is built by clang and lld in a build of its own (the reason is in that file).
set(QUILLERY_LIBRARY_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/shipped-x86_64.cmake)
