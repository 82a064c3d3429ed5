# What ships (both add-in libraries and both doctors) is compiled by clang and linked by lld, the one MinGW
# toolchain that writes Control Flow Guard tables, fills our own load configuration and marks an image
# compatible with CET's shadow stack. The C++ library stays GCC 12's libstdc++ with its runtime (libgcc, the
# stack protector's libssp) and the MinGW-w64 runtime of Debian's packages, all linked in statically, with the
# win32 thread model: its locks are plain Windows objects, where the posix model's winpthreads takes a TLS slot,
# an event and a thread handle for each module that first asks for a lock, and never gives them back.
#
# Included by shipped-x86_64.cmake and shipped-i686.cmake with QUILLERY_TRIPLE set. Tests, tools and the
# simulator keep the GCC toolchains (mingw-w64-*.cmake), which build these files' own build
# (cmake/QuilleryLibraryBuild.cmake).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLERY_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_C_COMPILER_TARGET ${QUILLERY_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${QUILLERY_TRIPLE})
set(CMAKE_RC_COMPILER ${QUILLERY_TRIPLE}-windres)
set(CMAKE_OBJCOPY ${QUILLERY_TRIPLE}-objcopy CACHE FILEPATH "")
set(CMAKE_STRIP ${QUILLERY_TRIPLE}-strip CACHE FILEPATH "")

# GCC 12's own files of the win32 thread model: the C++ headers (clang looks for none of its own here), the
# libraries, and the start and end of the unwind tables (crtbegin.o registers a 32-bit module's DWARF tables
# with the unwinder; crtend.o ends them).
set(gcc /usr/lib/gcc/${QUILLERY_TRIPLE}/12-win32)
set(mingw /usr/${QUILLERY_TRIPLE}/lib)
set(QUILLERY_GCC_RUNTIME_DIR ${gcc})

# Hardening, as for the GCC builds (mingw-w64-x86_64.cmake says why each), and Control Flow Guard: every
# indirect call checks its target, and every function whose address is taken is listed in the image's table
# of valid targets.
set(hardening "-fstack-protector-strong -D_FORTIFY_SOURCE=2 -mguard=cf")
set(CMAKE_C_FLAGS_INIT "${hardening}")
set(CMAKE_CXX_FLAGS_INIT
    "${hardening} -nostdinc++ -isystem ${gcc}/include/c++ -isystem ${gcc}/include/c++/${QUILLERY_TRIPLE} -isystem ${gcc}/include/c++/backward")

# The driver is told nothing of its own about start files and libraries: each is named here, in the order
# GCC's driver gives them, so that the image holds exactly what the bill of materials traces from the map.
# (The C++ header flags reach the link line too, where the driver has no use for them.)
set(link "--ld-path=/usr/bin/ld.lld-16 -nostartfiles -nostdlib -static -L${gcc} -L${mingw}")
set(link "${link} -Wno-unused-command-line-argument")
set(link "${link} -Wl,--dynamicbase,--nxcompat,--guard-cf ${QUILLERY_HARDENING_LINK}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${link} ${mingw}/crt2.o ${gcc}/crtbegin.o")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${link} ${mingw}/dllcrt2.o ${gcc}/crtbegin.o")
set(runtime "-Wl,--start-group -lstdc++ -lssp_nonshared -lssp -lmingw32 -lgcc -lgcc_eh -lmoldname -lmingwex")
set(runtime "${runtime} -lmsvcrt -ladvapi32 -lshell32 -luser32 -lkernel32 -Wl,--end-group ${gcc}/crtend.o")
# In the cache, where the platform's own defaults would otherwise go (and the compiler checks' builds see them).
set(CMAKE_C_STANDARD_LIBRARIES "${runtime}" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "${runtime}" CACHE STRING "" FORCE)

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
