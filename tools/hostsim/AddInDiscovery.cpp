#include "tools/hostsim/AddInDiscovery.h"

#include "win/UniqueHkey.h"

namespace hostsim {
namespace {

std::wstring stringValue(HKEY key, const wchar_t* name) {
    wchar_t text[1024] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::wstring();
    // The stored text need not be terminated: take what the query returned, up to a first NUL.
    std::wstring result(text, size / sizeof(wchar_t));
    const size_t end = result.find(L'\0');
    if (end != std::wstring::npos) result.erase(end);
    return result;
}

void readKeys(HKEY root, bool perUser, const HostProfile& host, std::vector<AddInKey>& found) {
    win::UniqueHkey addIns;
    if (::RegOpenKeyExW(root, addInsKeyPath(host).c_str(), 0, KEY_READ, addIns.receive()) != ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG status =
            ::RegEnumKeyExW(addIns.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) continue;
        AddInKey entry;
        entry.progId.assign(name, length);
        entry.perUser = perUser;
        win::UniqueHkey key;
        if (::RegOpenKeyExW(addIns.get(), name, 0, KEY_READ, key.receive()) == ERROR_SUCCESS) {
            DWORD value = 0, size = sizeof(value), type = 0;
            if (::RegQueryValueExW(key.get(), L"LoadBehavior", nullptr, &type,
                                   reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                type == REG_DWORD && size == sizeof(value)) {
                entry.hasLoadBehavior = true;
                entry.loadBehavior = value;
            }
            entry.friendlyName = stringValue(key.get(), L"FriendlyName");
            entry.description = stringValue(key.get(), L"Description");
        }
        bool replaced = false;
        for (AddInKey& earlier : found) {
            if (_wcsicmp(earlier.progId.c_str(), entry.progId.c_str()) == 0) {
                earlier = entry;
                replaced = true;
            }
        }
        if (!replaced) found.push_back(entry);
    }
}

}  // namespace

const std::vector<HostProfile>& hostProfiles() {
    static const std::vector<HostProfile> profiles = {
        {L"word", L"Word", L"Microsoft Word", L"Microsoft.Word.Document", OfficeDouble::Host::Word},
        {L"excel", L"Excel", L"Microsoft Excel", L"Microsoft.Excel.Workbook", OfficeDouble::Host::Excel},
        {L"powerpoint", L"PowerPoint", L"Microsoft PowerPoint", L"Microsoft.PowerPoint.Presentation",
         OfficeDouble::Host::PowerPoint},
    };
    return profiles;
}

const HostProfile* hostNamed(const std::wstring& name) {
    for (const HostProfile& profile : hostProfiles()) {
        if (_wcsicmp(profile.name, name.c_str()) == 0) return &profile;
    }
    return nullptr;
}

std::wstring addInsKeyPath(const HostProfile& host) {
    return std::wstring(L"Software\\Microsoft\\Office\\") + host.registryName + L"\\Addins";
}

std::wstring AddInKey::keyPath(const HostProfile& host) const {
    return std::wstring(perUser ? L"HKCU\\" : L"HKLM\\") + addInsKeyPath(host) + L"\\" + progId;
}

std::wstring AddInKey::loadBehaviorText() const {
    if (!hasLoadBehavior) return L"no LoadBehavior: not loaded";
    // The low bit is whether it is loaded now, the others when the host loads it.
    switch (loadBehavior) {
        case 0:
            return L"Unloaded, do not load automatically (0)";
        case 1:
            return L"Loaded, do not load automatically (1)";
        case 2:
            return L"Unloaded, load at start-up (2)";
        case 3:
            return L"Load at start-up (3)";
        case 8:
            return L"Unloaded, load on demand (8)";
        case 9:
            return L"Load on demand (9)";
        case 16:
            return L"Load first time, then on demand (16)";
        default:
            return L"unknown load behaviour (" + std::to_wstring(loadBehavior) + L"): not loaded";
    }
}

std::vector<AddInKey> discoverAddIns(const HostProfile& host) {
    std::vector<AddInKey> found;
    readKeys(HKEY_LOCAL_MACHINE, false, host, found);
    readKeys(HKEY_CURRENT_USER, true, host, found);
    return found;
}

}  // namespace hostsim
