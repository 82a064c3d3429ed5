#pragma once

#include "tools/hostsim/CountedDispatch.h"

namespace hostsim {

// A plain automation object of the host's: its application object, or the COM add-in object it makes for each
// add-in.
class AutomationObject : public CountedDispatch<IDispatch> {
public:
    // Makes QueryInterface refuse IDispatch, as an object that is no automation object.
    void refuseDispatch(bool refuse) { refuseDispatch_ = refuse; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || (IsEqualIID(iid, IID_IDispatch) && !refuseDispatch_))
            return answer(object);
        return E_NOINTERFACE;
    }

private:
    bool refuseDispatch_ = false;
};

}  // namespace hostsim
