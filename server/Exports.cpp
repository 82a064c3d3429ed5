// The library's entry points. None of them can throw: each calls only code that reports failure by its
// result.
#include <windows.h>
#include <objbase.h>

#include "server/AddInModule.h"
#include "server/ClassTable.h"

namespace __gnu_cxx {
// The C++ runtime's own: frees the buffer it sets aside as it starts, for exceptions thrown once memory has run
// out. Linked into the library, the runtime starts at every load and would otherwise keep one buffer per load.
void __freeres() noexcept;
}  // namespace __gnu_cxx

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) noexcept {
    if (reason == DLL_PROCESS_ATTACH) {
        if (!classTableReady()) addInModule().markInitFailed();
        if (addInModule().initFailed()) return FALSE;
        addInModule().setInstance(instance);
    } else if (reason == DLL_PROCESS_DETACH && !reserved) {
        // Freed while the process goes on, as by a host that frees unused libraries. Nothing of ours runs
        // after this but the static objects' destructors, which throw nothing.
        __gnu_cxx::__freeres();
    }
    return TRUE;
}

// The platform's headers declare these two without noexcept, and a definition must declare them the same way.
extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    return getClassObject(classId, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return addInModule().lockCount() == 0 ? S_OK : S_FALSE;
}
