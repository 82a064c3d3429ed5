# The toolchain of the 32-bit files that ship (cmake/ShippedToolchain.cmake says what and why).
set(QUILLERY_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
# The entry points are __stdcall here (the .def files export them by their plain names; mingw-w64-i686.cmake).
set(QUILLERY_HARDENING_LINK "-Wl,--enable-stdcall-fixup")
include(${CMAKE_CURRENT_LIST_DIR}/ShippedToolchain.cmake)
# What ships declares that it has no structured exception handler, so Windows calls none in it (what SafeSEH
# asks of a 32-bit image): nothing in it registers one, which the release test proves of every shipped file by
# finding no access to the handler chain's head (fs:0). C++ exceptions unwind by DWARF tables here, not by SEH.
set(QUILLERY_SHIPPED_LINK_OPTIONS -Wl,--no-seh)
set(QUILLERY_WIDL          i686-w64-mingw32-widl --win32)
set(QUILLERY_STDOLE2_DIR   /usr/lib/i386-linux-gnu/wine/i386-windows)
set(QUILLERY_LOAD_CONFIGURATION ${CMAKE_CURRENT_LIST_DIR}/../win/image/LoadConfiguration32.c)
