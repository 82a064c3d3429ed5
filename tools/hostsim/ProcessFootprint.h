#pragma once

#include <windows.h>

namespace hostsim {

// What the process holds of what a library may take at every load and not give back when it is freed: kernel
// handles, thread-local storage slots (1,088 for the whole process, shared by every module in it) and committed
// private memory.
struct ProcessFootprint {
    DWORD handles = 0;
    // The slot TlsAlloc hands out next: it climbs while slots are kept, since the lowest free one comes first.
    DWORD nextTlsSlot = 0;
    SIZE_T privateBytes = 0;
};

// The process's footprint now, counted the same way on Windows and under Wine, which counts neither handles nor
// private usage itself.
ProcessFootprint processFootprint();

}  // namespace hostsim
