#pragma once

#include <windows.h>

#include "win/UniqueResource.h"

namespace win {

struct HkeyTraits {
    using Handle = HKEY;
    static HKEY none() noexcept { return nullptr; }
    static bool valid(HKEY key) noexcept { return key != nullptr; }
    static void close(HKEY key) noexcept { ::RegCloseKey(key); }
};

// Owns one open registry key and closes it exactly once. Predefined root keys are never owned.
using UniqueHkey = UniqueResource<HkeyTraits>;

}  // namespace win
