#pragma once

#include <windows.h>

#include <string>

// Test programs that meet the add-in through COM run on an apartment thread, with the add-in beside them
// registered as an installed copy is (class keys and type library) for the length of the program.
bool installAddInEnvironment();

// The add-in module that COM loaded into this process (null before the first creation).
HMODULE loadedAddIn();
// The add-in's DllCanUnloadNow, asked directly.
HRESULT addInCanUnloadNow();

// Reading and writing the registry the way the tests check the add-in's effects.
bool registryDword(HKEY root, const std::string& path, const char* name, DWORD& value);
void setRegistryDword(HKEY root, const std::string& path, const char* name, DWORD value);
