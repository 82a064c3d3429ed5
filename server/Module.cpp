// The library's static state, defined in one place so that it is built in a fixed order when the library
// loads (the class table's lock, then the module object) and torn down in the reverse order when it unloads
// (the module's clean-up list first, then the cached class factories).
#include "server/AddInModule.h"
#include "server/ClassTable.h"
#include "server/CriticalSection.h"

namespace {

class ClassTableState {
public:
    ClassTableState() noexcept = default;
    ~ClassTableState() {
        for (ClassEntry& entry : productClasses()) {
            if (CComClassFactory* factory = entry.cachedFactory.exchange(nullptr)) factory->Release();
        }
    }

    CriticalSection lock;
};

ClassTableState classTableState;
CAddInModule module;

}  // namespace

CAddInModule& addInModule() noexcept {
    return module;
}

bool classTableReady() noexcept {
    return classTableState.lock.ready();
}

HRESULT getClassObject(REFCLSID classId, REFIID iid, void** object) noexcept {
    if (!classTableReady()) return E_UNEXPECTED;
    if (!object) return E_POINTER;
    *object = nullptr;

    HRESULT result = S_OK;
    for (ClassEntry& entry : productClasses()) {
        if (!IsEqualCLSID(classId, *entry.classId)) continue;
        CComClassFactory* factory = entry.cachedFactory.load();
        if (!factory) {
            CriticalSection::Guard guard(classTableState.lock);
            factory = entry.cachedFactory.load();
            if (!factory) {
                factory = CComClassFactory::create(entry.createInstance);
                if (!factory) return E_OUTOFMEMORY;
                entry.cachedFactory.store(factory);
            }
        }
        result = factory->QueryInterface(iid, object);
        break;
    }
    if (*object == nullptr && SUCCEEDED(result)) result = CLASS_E_CLASSNOTAVAILABLE;
    return result;
}
