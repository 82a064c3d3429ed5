# Cross-builds the add-in and its Windows test programs with MinGW-w64 for 32-bit Windows, and for 32-bit Office
# on 64-bit Windows: Office loads an add-in into its own process, so 32-bit Office needs the 32-bit DLL. The
# same sources, compilers of the same kind (-posix, -static) as the 64-bit build; only the machine differs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER  i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Hardening as in the 64-bit toolchain file: the stack protector with its runtime linked in, the checked string
# and print functions, a random base (ASLR) and no data executable (DEP). A 32-bit address space has no high
# entropy to offer.
set(CMAKE_C_FLAGS_INIT   "-fstack-protector-strong -D_FORTIFY_SOURCE=2")
set(CMAKE_CXX_FLAGS_INIT "-fstack-protector-strong -D_FORTIFY_SOURCE=2")
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat")
# The entry points are __stdcall here, so their symbols carry the argument size ("DllGetClassObject@12"); the
# .def files export them by their plain names, as the platform looks them up, and the linker ties the two.
set(CMAKE_SHARED_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat -Wl,--enable-stdcall-fixup")
# In the tests' 64-bit prefix a 32-bit program runs under WOW64, as 32-bit Office does on 64-bit Windows.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# The type library compiler for this machine, and where the 32-bit Wine keeps the stdole2 library it imports.
set(QUILLERY_WIDL          i686-w64-mingw32-widl --win32)
set(QUILLERY_STDOLE2_DIR   /usr/lib/i386-linux-gnu/wine/i386-windows)

# What ships is built by clang and lld in a build of its own (the reason is in that file).
set(QUILLERY_LIBRARY_TOOLCHAIN ${CMAKE_CURRENT_LIST_DIR}/shipped-i686.cmake)
