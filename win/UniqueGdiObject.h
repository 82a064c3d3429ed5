#pragma once

#include <windows.h>

#include "win/UniqueResource.h"

namespace win {

template <typename Object>
struct GdiObjectTraits {
    using Handle = Object;
    static Object none() noexcept { return nullptr; }
    static bool valid(Object object) noexcept { return object != nullptr; }
    static void close(Object object) noexcept { ::DeleteObject(object); }
};

// Owns one GDI object that we created (a brush, a font, a bitmap) and deletes it exactly once. It must not be
// selected into a device context when its owner lets it go.
template <typename Object>
using UniqueGdiObject = UniqueResource<GdiObjectTraits<Object>>;
using UniqueBrush = UniqueGdiObject<HBRUSH>;
using UniqueFont = UniqueGdiObject<HFONT>;
using UniqueBitmap = UniqueGdiObject<HBITMAP>;

struct MemoryDcTraits {
    using Handle = HDC;
    static HDC none() noexcept { return nullptr; }
    static bool valid(HDC dc) noexcept { return dc != nullptr; }
    static void close(HDC dc) noexcept { ::DeleteDC(dc); }
};

// Owns one device context from CreateCompatibleDC and deletes it exactly once.
using UniqueMemoryDc = UniqueResource<MemoryDcTraits>;

}  // namespace win
