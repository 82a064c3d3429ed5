#include "tools/hostsim/AddInRegistration.h"

#include "tools/hostsim/AddInLocation.h"
#include "win/EntryPoint.h"
#include "win/UniqueLibrary.h"

namespace hostsim {

HRESULT registerAddInBesideProgram() {
    win::UniqueLibrary library(::LoadLibraryW(addInBesideProgram().c_str()));
    if (!library) return HRESULT_FROM_WIN32(::GetLastError());
    auto entry = entryPointAs<HRESULT(WINAPI*)()>(::GetProcAddress(library.get(), "DllRegisterServer"));
    return entry ? entry() : E_UNEXPECTED;
}

}  // namespace hostsim
