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
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)

# The type library compiler for this machine, and where the 64-bit Wine keeps the stdole2 library it imports.
set(QUILLERY_WIDL          x86_64-w64-mingw32-widl --win64)
set(QUILLERY_STDOLE2_DIR   /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
