#include "win/SystemLibrary.h"

#include <objbase.h>

#include "win/ComPtr.h"
#include "win/EntryPoint.h"

namespace win {

HMODULE loadSystemLibrary(const char* name, decltype(&::LoadLibraryExA) load) noexcept {
    return load(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HRESULT createFromLibrary(HMODULE library, REFCLSID classId, REFIID iid, void** object) noexcept {
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    const auto getClassObject =
        library ? entryPointAs<GetClassObject>(::GetProcAddress(library, "DllGetClassObject")) : nullptr;
    if (!getClassObject) return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    ComPtr<IClassFactory> factory;
    const HRESULT found = getClassObject(classId, IID_IClassFactory, factory.receiveVoid());
    return FAILED(found) ? found : factory->CreateInstance(nullptr, iid, object);
}

}  // namespace win
