#pragma once

// What the C++ runtime inside a 32-bit library keeps of every load however the library behaves: its unwinder
// registers the library's unwind tables as it loads, under a lock whose semaphore it never closes
// (cmake/mingw-w64-i686-win32.cmake). The 64-bit runtime registers nothing.
constexpr long long kRuntimeHandlesPerLoad = sizeof(void*) == 4 ? 1 : 0;
