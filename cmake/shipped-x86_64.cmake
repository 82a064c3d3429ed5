# The toolchain of the 64-bit files that ship (cmake/ShippedToolchain.cmake says what and why).
set(QUILLERY_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
# Marked compatible with CET's shadow stack: nothing in the image returns other than by `ret` to where it was
# called from (no longjmp; exceptions unwind through the system's RtlUnwindEx), which the hardening test shows.
set(QUILLERY_HARDENING_LINK "-Wl,--high-entropy-va -Wl,--Xlink=-cetcompat")
include(${CMAKE_CURRENT_LIST_DIR}/ShippedToolchain.cmake)
set(QUILLERY_WIDL          x86_64-w64-mingw32-widl --win64)
set(QUILLERY_STDOLE2_DIR   /usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
# The load configuration of this machine's layout.
set(QUILLERY_LOAD_CONFIGURATION ${CMAKE_CURRENT_LIST_DIR}/../win/image/LoadConfiguration64.c)
