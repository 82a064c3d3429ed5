#include "tools/hostsim/ServerRegistration.h"

#include <windows.h>
#include <oleauto.h>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "win/ComPtr.h"
#include "win/UniqueHkey.h"

namespace hostsim {
namespace {

constexpr wchar_t kClassesRoot[] = L"Software\\Classes\\";

struct ClassKeys {
    const CLSID* classId;
    const wchar_t* progId;
    const wchar_t* description;
};

const ClassKeys kClasses[] = {
    {&CLSID_Connect, L"TandrelQuillery.Connect", L"Connect Class"},
    {&CLSID_SimpleATLAddIn, L"TandrelQuillery.SimpleATLAddIn", L"SimpleATLAddIn Class"},
};

std::wstring braced(const GUID& guid) {
    wchar_t text[40] = {};
    ::StringFromGUID2(guid, text, 40);
    return text;
}

bool setValue(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
    win::UniqueHkey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.receive(),
                          nullptr) != ERROR_SUCCESS)
        return false;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            bytes) == ERROR_SUCCESS;
}

}  // namespace

ServerRegistration::ServerRegistration(const std::wstring& dllPath) {
    bool ok = true;
    for (const ClassKeys& entry : kClasses) {
        const std::wstring classKey = std::wstring(kClassesRoot) + L"CLSID\\" + braced(*entry.classId);
        ok &= setValue(classKey, nullptr, entry.description);
        ok &= setValue(classKey + L"\\InprocServer32", nullptr, dllPath);
        ok &= setValue(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
        ok &= setValue(classKey + L"\\ProgID", nullptr, entry.progId);
        ok &=
            setValue(std::wstring(kClassesRoot) + entry.progId + L"\\CLSID", nullptr, braced(*entry.classId));
    }
    win::ComPtr<ITypeLib> library;
    ok &= SUCCEEDED(::LoadTypeLibEx(dllPath.c_str(), REGKIND_NONE, library.receive())) &&
          SUCCEEDED(::RegisterTypeLib(library.get(), const_cast<wchar_t*>(dllPath.c_str()), nullptr));
    ok_ = ok;
}

ServerRegistration::~ServerRegistration() {
    if (kept_) return;
    ::UnRegisterTypeLib(LIBID_TandrelLib, kTypeLibraryMajor, kTypeLibraryMinor, LANG_NEUTRAL, SYS_WIN64);
    for (const ClassKeys& entry : kClasses) {
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE,
                         (std::wstring(kClassesRoot) + L"CLSID\\" + braced(*entry.classId)).c_str());
        ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, (std::wstring(kClassesRoot) + entry.progId).c_str());
    }
}

std::wstring addInBesideProgram() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring result(path, length);
    const size_t slash = result.find_last_of(L"\\/");
    result.erase(slash == std::wstring::npos ? 0 : slash + 1);
    return result + L"Quillery.dll";
}

}  // namespace hostsim
