/* A library of plain C that serves nothing: loading and freeing it costs the process only what the loader
   itself keeps, the baseline of the reload test. */
#include <windows.h>

HRESULT WINAPI DllCanUnloadNow(void) {
    return S_OK;
}
