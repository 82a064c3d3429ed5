#pragma once

#include <windows.h>
#include <oaidl.h>

#include "win/UniqueResource.h"

namespace win {

// A description that a type information lends out (its attributes, one function's description) must be
// handed back to that same type information.
template <typename Description, void (STDMETHODCALLTYPE ITypeInfo::*Release)(Description*)>
struct TypeInfoDescriptionTraits {
    using Handle = Description*;
    static Handle none() noexcept { return nullptr; }
    static bool valid(Handle description) noexcept { return description != nullptr; }
    void close(Handle description) const noexcept { (owner->*Release)(description); }

    ITypeInfo* owner = nullptr;
};

// Owns the attributes lent by `owner->GetTypeAttr`, which must outlive it.
using UniqueTypeAttr = UniqueResource<TypeInfoDescriptionTraits<TYPEATTR, &ITypeInfo::ReleaseTypeAttr>>;
// Owns one function description lent by `owner->GetFuncDesc`, which must outlive it.
using UniqueFuncDesc = UniqueResource<TypeInfoDescriptionTraits<FUNCDESC, &ITypeInfo::ReleaseFuncDesc>>;

}  // namespace win
