#include "tools/hostsim/AddInRegistration.h"

#include "tools/hostsim/AddInLocation.h"
#include "win/EntryPoint.h"
#include "win/FailurePolicy.h"
#include "win/UniqueLibrary.h"

namespace hostsim {

HRESULT registerAddInBesideProgram() {
    return callAddInExport("DllRegisterServer");
}

HRESULT callAddInExport(const char* name, const std::wstring& dll) {
    win::UniqueLibrary library(::LoadLibraryW(dll.empty() ? addInBesideProgram().c_str() : dll.c_str()));
    if (!library) return lastErrorResult();
    auto entry = entryPointAs<HRESULT(WINAPI*)()>(::GetProcAddress(library.get(), name));
    return entry ? entry() : E_UNEXPECTED;
}

}  // namespace hostsim
