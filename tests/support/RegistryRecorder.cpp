#include "tests/support/RegistryRecorder.h"

#include <cstdint>
#include <stdexcept>

namespace {

RegistryRecorder* active = nullptr;

LSTATUS WINAPI openKey(HKEY root, LPCSTR subKey, DWORD options, REGSAM mask, PHKEY result) {
    active->openMasks.push_back(mask);
    if (active->denyWrites && (mask & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    const LSTATUS status = ::RegOpenKeyExA(root, subKey, options, mask, result);
    if (status == ERROR_SUCCESS) ++active->openedKeys;
    return status;
}

LSTATUS WINAPI queryValue(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
    active->queriedValues.push_back(name ? name : "");
    return ::RegQueryValueExA(key, name, reserved, type, data, size);
}

LSTATUS WINAPI closeKey(HKEY key) {
    ++active->closedKeys;
    return ::RegCloseKey(key);
}

HMODULE WINAPI loadLibrary(LPCSTR name) {
    active->loadedLibraries.push_back(name ? name : "");
    return ::LoadLibraryA(name);
}

BOOL WINAPI freeLibrary(HMODULE module) {
    ++active->freedLibraries;
    return ::FreeLibrary(module);
}

BOOL WINAPI answersTrue(HANDLE, PBOOL answer) {
    *answer = TRUE;
    // The call's own result is not what decides; make it say failure to prove that.
    return FALSE;
}

BOOL WINAPI answersFalse(HANDLE, PBOOL answer) {
    *answer = FALSE;
    return TRUE;
}

BOOL WINAPI answersTwo(HANDLE, PBOOL answer) {
    *answer = 2;
    return TRUE;
}

FARPROC WINAPI getProcAddress(HMODULE module, LPCSTR name) {
    const bool byName = reinterpret_cast<uintptr_t>(name) > 0xFFFF;
    if (byName && std::string(name) == "IsWow64Process") {
        switch (active->wow64) {
            case RegistryRecorder::Wow64::ReportsFalse:
                return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(answersFalse));
            case RegistryRecorder::Wow64::ReportsTrue:
                return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(answersTrue));
            case RegistryRecorder::Wow64::ReportsTwo:
                return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(answersTwo));
            case RegistryRecorder::Wow64::QueryMissing:
                return nullptr;
            case RegistryRecorder::Wow64::Real:
                break;
        }
    }
    return ::GetProcAddress(module, name);
}

}  // namespace

RegistryRecorder::RegistryRecorder(Wow64 answer) : wow64(answer) {
    if (active) throw std::logic_error("one registry recorder at a time");
    active = this;
}

RegistryRecorder::~RegistryRecorder() {
    active = nullptr;
}

RegistryApi RegistryRecorder::api() const {
    RegistryApi api;
    api.openKey = openKey;
    api.queryValue = queryValue;
    api.closeKey = closeKey;
    api.getProcAddress = getProcAddress;
    api.loadLibrary = loadLibrary;
    api.freeLibrary = freeLibrary;
    return api;
}

void RegistryRecorder::clear() {
    openMasks.clear();
    queriedValues.clear();
    loadedLibraries.clear();
    openedKeys = closedKeys = freedLibraries = 0;
}
