// The library's entry points. None of them can throw: each calls only code that reports failure by its
// result.
#include <windows.h>
#include <objbase.h>

#include "server/AddInModule.h"
#include "server/ClassTable.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) noexcept {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!classTableReady()) addInModule().markInitFailed();
        if (addInModule().initFailed()) return FALSE;
        addInModule().setInstance(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) noexcept {
    return getClassObject(classId, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() noexcept {
    return addInModule().lockCount() == 0 ? S_OK : S_FALSE;
}
