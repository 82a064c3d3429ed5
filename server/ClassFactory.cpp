#include "server/ClassFactory.h"

#include <new>

#include "server/AddInModule.h"
#include "server/InterfaceTable.h"

CComClassFactory* CComClassFactory::create(CreateInstanceFunction createInstance) noexcept {
    return new (std::nothrow) CComClassFactory(createInstance);
}

HRESULT CComClassFactory::QueryInterface(REFIID iid, void** object) noexcept {
    static const InterfaceEntry<CComClassFactory> table[] = {
        {&IID_IClassFactory, &interfacePart<CComClassFactory, IClassFactory>},
    };
    return queryInterfaceTable(this, table, iid, object);
}

ULONG CComClassFactory::AddRef() noexcept {
    const LONG count = ::InterlockedIncrement(&references_);
    if (count == 2) addInModule().lock();
    return static_cast<ULONG>(count);
}

ULONG CComClassFactory::Release() noexcept {
    const LONG count = ::InterlockedDecrement(&references_);
    if (count == 1) addInModule().unlock();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

HRESULT CComClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    // An aggregating outer object may only ask for the inner object's own IUnknown.
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    return createInstance_(outer, iid, object);
}

HRESULT CComClassFactory::LockServer(BOOL lock) noexcept {
    if (lock)
        addInModule().lock();
    else
        addInModule().unlock();
    return S_OK;
}
