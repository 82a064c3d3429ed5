#pragma once

#include <string>
#include <utility>
#include <vector>

#include "addin/OfficeInterfaces.h"
#include "tools/hostsim/CountedDispatch.h"

namespace hostsim {

// The ribbon's own object, handed to the markup's onLoad callback: the add-in may keep it and ask the ribbon
// to show one control, or all of its controls, afresh.
class RibbonUi : public CountedDispatch<IRibbonUI> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, IID_IRibbonUI))
            return answer(object);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE Invalidate() override {
        everything_ = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE InvalidateControl(BSTR controlId) override {
        if (!controlId) return E_INVALIDARG;
        controls_.emplace_back(controlId, ::SysStringLen(controlId));
        return S_OK;
    }

    // What the add-in asked to have shown afresh since the last call, then forgotten.
    bool takeEverything() { return std::exchange(everything_, false); }
    std::vector<std::wstring> takeControls() { return std::exchange(controls_, {}); }

private:
    bool everything_ = false;
    std::vector<std::wstring> controls_;
};

}  // namespace hostsim
