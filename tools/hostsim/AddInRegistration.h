#pragma once

#include <windows.h>

#include <string>

namespace hostsim {

// Registers the add-in beside the running program as an installer does, through its own DllRegisterServer
// (class keys, type library, the Office add-in keys). The tools that set up a prefix of their own use it.
HRESULT registerAddInBesideProgram();
// Calls one of the add-in's argument-less exports ("DllRegisterServer", "DllUnregisterServer") as an
// installer does: loads the add-in (the one beside the running program when `dll` is empty), calls the
// export and unloads it.
HRESULT callAddInExport(const char* name, const std::wstring& dll = std::wstring());

}  // namespace hostsim
