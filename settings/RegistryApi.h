#pragma once

#include <windows.h>

// The Win32 entry points that RegistryAccess calls, gathered so that a test can watch what the platform hides
// (access masks, which libraries are loaded, the WOW64 answer) while still passing every call through to the
// real registry. The defaults are the system's own functions.
struct RegistryApi {
    decltype(&::RegOpenKeyExA) openKey = ::RegOpenKeyExA;
    decltype(&::RegQueryValueExA) queryValue = ::RegQueryValueExA;
    decltype(&::RegSetValueExA) setValue = ::RegSetValueExA;
    decltype(&::RegCloseKey) closeKey = ::RegCloseKey;
    decltype(&::RegDeleteKeyA) deleteKey = ::RegDeleteKeyA;
    decltype(&::GetModuleHandleA) getModuleHandle = ::GetModuleHandleA;
    decltype(&::GetProcAddress) getProcAddress = ::GetProcAddress;
    decltype(&::LoadLibraryA) loadLibrary = ::LoadLibraryA;
    decltype(&::FreeLibrary) freeLibrary = ::FreeLibrary;
};
