#pragma once

#include <windows.h>
#include <oaidl.h>

namespace hostsim {

// The common body of the host's own automation objects: a reference count that a test can read, to see that
// the add-in gives back every reference it took, and an IDispatch that knows no names (the add-in reaches
// these objects through their vtables, or not at all).
template <typename Interface>
class CountedDispatch : public Interface {
public:
    CountedDispatch() = default;
    virtual ~CountedDispatch() = default;
    CountedDispatch(const CountedDispatch&) = delete;
    CountedDispatch& operator=(const CountedDispatch&) = delete;

    // The creator holds the first reference.
    ULONG references() const { return references_; }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG count = --references_;
        if (count == 0) delete this;
        return count;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** typeInfo) override {
        if (typeInfo) *typeInfo = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {
        for (UINT index = 0; ids && index < count; ++index) ids[index] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    // Hands out this object for an interface it answers.
    HRESULT answer(void** object) {
        AddRef();
        *object = static_cast<Interface*>(this);
        return S_OK;
    }

private:
    ULONG references_ = 1;
};

}  // namespace hostsim
