#pragma once

#include <windows.h>
#include <oaidl.h>

#include "server/TypeInfoHolder.h"

// One dual interface of an object, with its four IDispatch members answered by the interface's own
// type-information holder. An object with several dual interfaces derives from one of these per interface, so
// that each interface's IDispatch speaks for that interface; the object itself implements IUnknown once for
// all of them.
template <typename Interface, CComTypeInfoHolder* Holder>
class DualInterface : public Interface {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    // Every index gets the interface's one type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID locale, ITypeInfo** typeInfo) noexcept override {
        return Holder->getTypeInfo(locale, typeInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) noexcept override {
        return Holder->getIDsOfNames(names, count, locale, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) noexcept override {
        return Holder->invoke(static_cast<Interface*>(this), id, locale, flags, params, result, exception,
                              argumentError);
    }

protected:
    DualInterface() = default;
    ~DualInterface() = default;
};
