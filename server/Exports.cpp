// The library's entry points.
#include <windows.h>
#include <objbase.h>

#include "server/AddInModule.h"
#include "server/ClassTable.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!classTableReady()) addInModule().markInitFailed();
        if (addInModule().initFailed()) return FALSE;
        addInModule().setInstance(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    return getClassObject(classId, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return addInModule().lockCount() == 0 ? S_OK : S_FALSE;
}
