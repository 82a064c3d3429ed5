#pragma once

#include <windows.h>
#include <oleauto.h>

#include "win/UniqueResource.h"

namespace win {

struct BstrTraits {
    using Handle = BSTR;
    static BSTR none() noexcept { return nullptr; }
    static bool valid(BSTR text) noexcept { return text != nullptr; }
    static void close(BSTR text) noexcept { ::SysFreeString(text); }
};

// Owns one BSTR and frees it exactly once with SysFreeString.
class UniqueBstr : public UniqueResource<BstrTraits> {
public:
    using UniqueResource::UniqueResource;
    UINT length() const noexcept { return ::SysStringLen(get()); }
};

}  // namespace win
