#pragma once

#include <windows.h>

#include "TandrelLib.h"
#include "server/CallbacksTypeInfo.h"
#include "server/DualInterface.h"

// The library's second registered class: it offers the ribbon callback interface and does nothing in any of
// its methods. It may be aggregated; its IUnknown members then speak for the outer object.
class CSimpleATLAddIn : public DualInterface<ISimpleATLAddIn, &callbacksTypeInfo> {
public:
    static HRESULT createInstance(IUnknown* outer, REFIID iid, void** object) noexcept;

    // When aggregated, `outer` receives every IUnknown call made on this object.
    explicit CSimpleATLAddIn(IUnknown* outer = nullptr) noexcept;
    virtual ~CSimpleATLAddIn();

    // The object's own interface lookup, without delegation to an outer object.
    HRESULT internalQueryInterface(REFIID iid, void** object) noexcept;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override;
    ULONG STDMETHODCALLTYPE AddRef() noexcept override;
    ULONG STDMETHODCALLTYPE Release() noexcept override;

    HRESULT STDMETHODCALLTYPE OnLoad(IDispatch*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetLabel(IDispatch*, BSTR*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSupertip(IDispatch*, BSTR*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetEnabled(IDispatch*, VARIANT_BOOL*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetVisible(IDispatch*, VARIANT_BOOL*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetItemCount(IDispatch*, LONG*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetItemID(IDispatch*, LONG, BSTR*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetItemLabel(IDispatch*, LONG, BSTR*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPrintQualitySelectedItemIndex(IDispatch*, LONG*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLayoutSelectedItemIndex(IDispatch*, LONG*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetNUpSelectedItemIndex(IDispatch*, LONG*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetPagesPerSheetSelectedItemIndex(IDispatch*, LONG*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBlackAndWhitePressed(IDispatch*, VARIANT_BOOL*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDuplexPressed(IDispatch*, VARIANT_BOOL*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetFitToPagePressed(IDispatch*, VARIANT_BOOL*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnPrintClicked(IDispatch*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPrintQualityClicked(IDispatch*, BSTR*, LONG) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnLayoutClicked(IDispatch*, BSTR*, LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnBlackAndWhiteClicked(IDispatch*, VARIANT_BOOL*) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnFitToPageClicked(IDispatch*, VARIANT_BOOL*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnDuplexClicked(IDispatch*, VARIANT_BOOL*) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnNUpClicked(IDispatch*, BSTR*, LONG) noexcept override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPagesPerSheetClicked(IDispatch*, BSTR*, LONG) noexcept override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDialogboxLauncher(IDispatch*) noexcept override { return S_OK; }

private:
    IUnknown* outer_;
    ULONG references_ = 0;
};
