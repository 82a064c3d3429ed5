#pragma once

#include <windows.h>

#include <string>

#include "tools/hostsim/AddInRegistration.h"

// Test programs that meet the add-in through COM run on an apartment thread, with the add-in beside them
// registered through its own DllRegisterServer for the length of the program (and unregistered at the end,
// its question answered Yes).
bool installAddInEnvironment();

using hostsim::callAddInExport;

// Registration creates the Office add-in keys' parents where Office is not installed, and keeps them on
// removal as keys that Office shares; this takes them away again when they were not there before. The view
// is that of the registry edits (tools/fixtures/RegistryEdit.h): 0 for the process's own.
class OfficeParentKeys {
public:
    explicit OfficeParentKeys(REGSAM view = 0);
    ~OfficeParentKeys();
    OfficeParentKeys(const OfficeParentKeys&) = delete;
    OfficeParentKeys& operator=(const OfficeParentKeys&) = delete;

private:
    REGSAM view_;
    bool existed_;
};

// The add-in beside the test program registered through DllRegisterServer while this lives; unregistered
// again through DllUnregisterServer, its question answered Yes.
class RegisteredAddIn {
public:
    RegisteredAddIn() : result_(callAddInExport("DllRegisterServer")) {}
    ~RegisteredAddIn();
    RegisteredAddIn(const RegisteredAddIn&) = delete;
    RegisteredAddIn& operator=(const RegisteredAddIn&) = delete;
    bool ok() const { return result_ == S_OK; }

private:
    OfficeParentKeys office_;
    HRESULT result_;
};

// The add-in module that COM loaded into this process (null before the first creation).
HMODULE loadedAddIn();
// The add-in's DllCanUnloadNow, asked directly.
HRESULT addInCanUnloadNow();

// Reading and writing the registry the way the tests check the add-in's effects.
bool registryDword(HKEY root, const std::string& path, const char* name, DWORD& value);
void setRegistryDword(HKEY root, const std::string& path, const char* name, DWORD value);
