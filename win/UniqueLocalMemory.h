#pragma once

#include <windows.h>

#include "win/UniqueResource.h"

namespace win {

struct LocalMemoryTraits {
    using Handle = void*;
    static void* none() noexcept { return nullptr; }
    static bool valid(void* memory) noexcept { return memory != nullptr; }
    static void close(void* memory) noexcept { ::LocalFree(memory); }
};

// Owns memory the platform hands out for the caller to give back with LocalFree (a security descriptor, a SID
// converted from text).
using UniqueLocalMemory = UniqueResource<LocalMemoryTraits>;

}  // namespace win
