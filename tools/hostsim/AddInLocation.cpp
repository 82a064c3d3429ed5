#include "tools/hostsim/AddInLocation.h"

#include <windows.h>

namespace hostsim {

std::wstring addInBesideProgram() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    const size_t slash = result.find_last_of(L"\\/");
    result.erase(slash == std::wstring::npos ? 0 : slash + 1);
    return result + L"Quillery.dll";
}

}  // namespace hostsim
