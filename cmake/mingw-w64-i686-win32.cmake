# The 32-bit library that ships is compiled and linked by the win32 thread-model compilers, everything else of
# the 32-bit build (tests, tools) by the -posix ones that mingw-w64-i686.cmake names. Only the compilers differ.
#
# Why: the 32-bit runtime unwinds with DWARF tables that each module registers with the static unwinder as it
# loads, under a lock that the unwinder sets up then and never tears down. With the posix thread model that set-up
# goes through winpthreads, which takes a TLS slot, an event and a handle to the loading thread for it and gives
# none of them back when the library unloads: one slot per load, out of the process's 1,088. The win32 model's lock
# costs one semaphore handle per load instead, and no slot. (The 64-bit runtime unwinds with tables that the
# system finds by itself; nothing is registered at load.)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-i686.cmake)
set(CMAKE_C_COMPILER   i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
# This is the library's own build: it builds nothing through another.
unset(QUILLERY_LIBRARY_TOOLCHAIN)
