#pragma once

#include <windows.h>

#include "win/UniqueResource.h"

namespace win {

struct KernelHandleTraits {
    using Handle = HANDLE;
    static HANDLE none() noexcept { return nullptr; }
    // CreateFile reports failure with INVALID_HANDLE_VALUE, most other calls with null: neither is owned.
    static bool valid(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void close(HANDLE handle) noexcept { ::CloseHandle(handle); }
};

// Owns a kernel handle (file, event, thread) and closes it exactly once.
using UniqueHandle = UniqueResource<KernelHandleTraits>;

}  // namespace win
