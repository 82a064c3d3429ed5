#include "server/SimpleAddIn.h"

#include <new>

#include "server/AddInModule.h"
#include "server/InterfaceTable.h"
#include "QuilleryVersion.h"

CComTypeInfoHolder callbacksTypeInfo(&IID_ISimpleATLAddIn, &LIBID_TandrelLib, kTypeLibraryMajor,
                                     kTypeLibraryMinor);

namespace {

// The aggregated form: this object is the inner object's own (non-delegating) IUnknown, which the outer
// object holds; every other interface comes from the inner object, whose IUnknown members speak for the outer
// object.
class AggregatedSimpleAddIn final : public IUnknown {
public:
    explicit AggregatedSimpleAddIn(IUnknown* outer) noexcept : inner_(outer) { addInModule().lock(); }
    ~AggregatedSimpleAddIn() { addInModule().unlock(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) noexcept override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown)) {
            AddRef();
            *object = static_cast<IUnknown*>(this);
            return S_OK;
        }
        return inner_.internalQueryInterface(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() noexcept override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() noexcept override {
        const ULONG count = --references_;
        if (count == 0) delete this;
        return count;
    }

private:
    CSimpleATLAddIn inner_;
    ULONG references_ = 0;
};

}  // namespace

CSimpleATLAddIn::CSimpleATLAddIn(IUnknown* outer) noexcept : outer_(outer) {
    addInModule().lock();
}

CSimpleATLAddIn::~CSimpleATLAddIn() {
    addInModule().unlock();
}

HRESULT CSimpleATLAddIn::createInstance(IUnknown* outer, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) {
        if (!IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        return handOutNew(new (std::nothrow) AggregatedSimpleAddIn(outer), iid, object);
    }
    return handOutNew(new (std::nothrow) CSimpleATLAddIn(), iid, object);
}

HRESULT CSimpleATLAddIn::internalQueryInterface(REFIID iid, void** object) noexcept {
    static const InterfaceEntry<CSimpleATLAddIn> table[] = {
        {&IID_ISimpleATLAddIn, &interfacePart<CSimpleATLAddIn, ISimpleATLAddIn>},
        {&IID_IDispatch, &interfacePart<CSimpleATLAddIn, ISimpleATLAddIn>},
    };
    return queryInterfaceTable(this, table, iid, object);
}

HRESULT CSimpleATLAddIn::QueryInterface(REFIID iid, void** object) noexcept {
    if (outer_) return outer_->QueryInterface(iid, object);
    return internalQueryInterface(iid, object);
}

ULONG CSimpleATLAddIn::AddRef() noexcept {
    if (outer_) return outer_->AddRef();
    return ++references_;
}

ULONG CSimpleATLAddIn::Release() noexcept {
    if (outer_) return outer_->Release();
    const ULONG count = --references_;
    if (count == 0) delete this;
    return count;
}
