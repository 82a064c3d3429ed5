#include "server/TypeInfoHolder.h"

#include <new>

#include "server/AddInModule.h"
#include "win/ComPtr.h"
#include "win/TypeInfoDescriptions.h"

HRESULT CComTypeInfoHolder::ensureTypeInfo(LCID locale) noexcept {
    if (typeInfo_.load() && nameCache_.load()) return S_OK;

    CriticalSection::Guard guard(addInModule().moduleLock());
    HRESULT result = E_FAIL;
    if (!typeInfo_.load()) {
        win::ComPtr<ITypeLib> library;
        result = ::LoadRegTypeLib(*libraryId_, major_, minor_, locale, library.receive());
        if (SUCCEEDED(result)) {
            win::ComPtr<ITypeInfo> info;
            result = library->GetTypeInfoOfGuid(*iid_, info.receive());
            if (SUCCEEDED(result)) {
                win::ComPtr<ITypeInfo2> info2 =
                    win::ComPtr<ITypeInfo2>::queryFrom(info.get(), IID_ITypeInfo2);
                if (info2) info.attach(info2.detach());
                result = addInModule().addTermFunction(&CComTypeInfoHolder::cleanUp, this);
                if (SUCCEEDED(result)) typeInfo_.store(info.detach());
            }
        }
    }
    if (typeInfo_.load()) {
        // Another caller may have finished the loading while this one waited for the lock.
        result = nameCache_.load() ? S_OK : loadNameCache();
    }
    return result;
}

HRESULT CComTypeInfoHolder::loadNameCache() noexcept {
    ITypeInfo* info = typeInfo_.load();
    win::UniqueTypeAttr attributes({info});
    // Without attributes there is no cache; every lookup then goes to the type information, and the next call
    // tries again.
    if (FAILED(info->GetTypeAttr(attributes.receive())) || !attributes) return S_OK;

    const UINT count = attributes.get()->cFuncs;
    NameRow* rows = nullptr;
    if (count != 0) {
        rows = new (std::nothrow) NameRow[count];
        if (!rows) return E_OUTOFMEMORY;
        for (UINT index = 0; index < count; ++index) {
            win::UniqueFuncDesc function({info});
            if (FAILED(info->GetFuncDesc(index, function.receive())) || !function) continue;
            const MEMBERID member = function.get()->memid;
            NameRow& row = rows[index];
            if (SUCCEEDED(info->GetDocumentation(member, row.name.receive(), nullptr, nullptr, nullptr)) &&
                row.name) {
                row.length = row.name.length();
                row.id = member;
            }
        }
    }
    nameCount_ = count;
    nameCache_.store(rows);
    return S_OK;
}

void CComTypeInfoHolder::cleanUp(void* argument) noexcept {
    auto* holder = static_cast<CComTypeInfoHolder*>(argument);
    if (ITypeInfo* info = holder->typeInfo_.exchange(nullptr)) info->Release();
    delete[] holder->nameCache_.exchange(nullptr);
    holder->nameCount_ = 0;
}

HRESULT CComTypeInfoHolder::getTypeInfo(LCID locale, ITypeInfo** typeInfo) noexcept {
    if (!typeInfo) return E_POINTER;
    HRESULT result = S_OK;
    if (!typeInfo_.load()) result = ensureTypeInfo(locale);
    ITypeInfo* info = typeInfo_.load();
    *typeInfo = info;
    if (!info) return FAILED(result) ? result : E_FAIL;
    info->AddRef();
    return S_OK;
}

HRESULT CComTypeInfoHolder::getIDsOfNames(LPOLESTR* names, UINT count, LCID locale, DISPID* ids) noexcept {
    const HRESULT loaded = ensureTypeInfo(locale);
    ITypeInfo* info = typeInfo_.load();
    if (!info) return FAILED(loaded) ? loaded : E_FAIL;
    if (!names || !ids) return E_POINTER;

    const NameRow* rows = nameCache_.load();
    if (rows && count == 1 && names[0]) {
        const UINT length = static_cast<UINT>(::lstrlenW(names[0]));
        for (UINT index = nameCount_; index-- > 0;) {
            const NameRow& row = rows[index];
            if (row.name && row.length == length &&
                ::memcmp(row.name.get(), names[0], length * sizeof(OLECHAR)) == 0) {
                ids[0] = row.id;
                return S_OK;
            }
        }
    }
    return info->GetIDsOfNames(names, count, ids);
}

HRESULT CComTypeInfoHolder::invoke(IDispatch* instance, DISPID id, LCID locale, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) noexcept {
    const HRESULT loaded = ensureTypeInfo(locale);
    ITypeInfo* info = typeInfo_.load();
    if (!info) return FAILED(loaded) ? loaded : E_FAIL;
    return info->Invoke(instance, id, flags, params, result, exception, argumentError);
}
