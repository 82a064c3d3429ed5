#pragma once

#include <windows.h>

// Entry points found at run time come back as FARPROC; this gives them their real type. The detour through a
// parameterless function type keeps the compiler from flagging the conversion as a mismatch.
template <typename Function>
Function entryPointAs(FARPROC address) noexcept {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}
