#pragma once

#include <windows.h>

#include "win/UniqueResource.h"

namespace win {

struct LibraryTraits {
    using Handle = HMODULE;
    static HMODULE none() noexcept { return nullptr; }
    static bool valid(HMODULE module) noexcept { return module != nullptr; }
    static void close(HMODULE module) noexcept { ::FreeLibrary(module); }
};

// Owns one reference to a module loaded with LoadLibrary and frees it exactly once.
using UniqueLibrary = UniqueResource<LibraryTraits>;

}  // namespace win
