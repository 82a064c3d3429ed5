#pragma once

#include <windows.h>
#include <oaidl.h>

#include <atomic>

#include "win/UniqueBstr.h"

// Answers the IDispatch members of one dual interface from its registered type library: the type information
// is loaded on first use (once, under the module lock) together with a cache of member names, so that the
// host's repeated single-name lookups are answered without asking the type information.
class CComTypeInfoHolder {
public:
    constexpr CComTypeInfoHolder(const IID* iid, const GUID* libraryId, WORD major, WORD minor) noexcept
        : iid_(iid), libraryId_(libraryId), major_(major), minor_(minor) {}

    HRESULT getTypeInfo(LCID locale, ITypeInfo** typeInfo) noexcept;
    HRESULT getIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids) noexcept;
    HRESULT invoke(IDispatch* instance, DISPID id, LCID locale, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argumentError) noexcept;

private:
    struct NameRow {
        win::UniqueBstr name;
        UINT length = 0;
        DISPID id = DISPID_UNKNOWN;
    };

    HRESULT ensureTypeInfo(LCID locale) noexcept;
    HRESULT loadNameCache() noexcept;
    static void cleanUp(void* holder) noexcept;

    const IID* iid_;
    const GUID* libraryId_;
    WORD major_;
    WORD minor_;
    std::atomic<ITypeInfo*> typeInfo_{nullptr};
    std::atomic<NameRow*> nameCache_{nullptr};
    UINT nameCount_ = 0;
};
