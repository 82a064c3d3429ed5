#pragma once

#include <windows.h>

// The Win32 registry entry points that RegistryAccess and the registrar call, gathered so that a test can
// watch what the platform hides (access masks, which libraries are loaded, the WOW64 answer) while still
// passing every call through to the real registry. The defaults are the system's own functions.
struct RegistryApi {
    decltype(&::RegOpenKeyExA) openKey = ::RegOpenKeyExA;
    decltype(&::RegQueryValueExA) queryValue = ::RegQueryValueExA;
    decltype(&::RegSetValueExA) setValue = ::RegSetValueExA;
    decltype(&::RegCloseKey) closeKey = ::RegCloseKey;
    decltype(&::RegDeleteKeyA) deleteKey = ::RegDeleteKeyA;
    // Used only by the registrar, which creates, enumerates and removes keys.
    decltype(&::RegCreateKeyExA) createKey = ::RegCreateKeyExA;
    decltype(&::RegDeleteValueA) deleteValue = ::RegDeleteValueA;
    decltype(&::RegEnumKeyExA) enumKey = ::RegEnumKeyExA;
    decltype(&::RegQueryInfoKeyA) queryInfoKey = ::RegQueryInfoKeyA;
    decltype(&::GetModuleHandleA) getModuleHandle = ::GetModuleHandleA;
    decltype(&::GetProcAddress) getProcAddress = ::GetProcAddress;
    decltype(&::LoadLibraryA) loadLibrary = ::LoadLibraryA;
    decltype(&::FreeLibrary) freeLibrary = ::FreeLibrary;
};
