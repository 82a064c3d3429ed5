#include "tools/hostsim/RibbonControl.h"

namespace hostsim {

HRESULT RibbonControl::QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, IID_IRibbonControl))
        return answer(object);
    return E_NOINTERFACE;
}

HRESULT RibbonControl::get_Id(BSTR* id) {
    if (!id) return E_POINTER;
    *id = nullptr;
    if (failId_) return E_FAIL;
    *id = ::SysAllocStringLen(id_.data(), static_cast<UINT>(id_.size()));
    return *id ? S_OK : E_OUTOFMEMORY;
}

HRESULT RibbonControl::get_Context(IDispatch** context) {
    ++extraReads_;
    if (!context) return E_POINTER;
    *context = nullptr;
    return S_OK;
}

HRESULT RibbonControl::get_Tag(BSTR* tag) {
    ++extraReads_;
    if (!tag) return E_POINTER;
    *tag = ::SysAllocString(L"");
    return S_OK;
}

}  // namespace hostsim
