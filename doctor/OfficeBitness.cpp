// Office does not say its bitness in one place: Click-to-Run installations keep it in their configuration,
// MSI installations only in Outlook's key, and any installation in the programs themselves. The doctor reads
// all three and reports each sign it finds.
#include "doctor/OfficeBitness.h"

#include <cwctype>

#include "settings/RegistryAccess.h"
#include "win/AnsiText.h"
#include "win/RegistryText.h"
#include "win/UniqueHkey.h"

namespace doctor {
namespace {

// Click-to-Run is a 64-bit service on 64-bit Windows: its configuration is in the 64-bit view whatever
// Office's bitness.
constexpr wchar_t kClickToRun[] = L"SOFTWARE\\Microsoft\\Office\\ClickToRun\\Configuration";
constexpr wchar_t kOfficeKey[] = L"SOFTWARE\\Microsoft\\Office";
constexpr wchar_t kAppPaths[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const wchar_t* const kPrograms[] = {L"WINWORD.EXE", L"EXCEL.EXE", L"POWERPNT.EXE"};

std::optional<std::wstring> textIn(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view) {
    win::UniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, key.receive()) != ERROR_SUCCESS)
        return std::nullopt;
    return win::registryText(key.get(), name);
}

const char* viewName(REGSAM view) {
    return view == KEY_WOW64_32KEY ? " in the 32-bit view" : "";
}

// "16.0", "15.0": the version keys under Office's key, as against its other keys (ClickToRun, Common).
bool isVersion(const std::wstring& name) {
    const size_t dot = name.find(L'.');
    if (dot == 0 || dot == std::wstring::npos || dot + 1 == name.size()) return false;
    for (size_t index = 0; index < name.size(); ++index) {
        if (index != dot && !std::iswdigit(name[index])) return false;
    }
    return true;
}

void outlookBitness(REGSAM view, std::vector<OfficeSign>& signs) {
    win::UniqueHkey office;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kOfficeKey, 0, KEY_ENUMERATE_SUB_KEYS | view, office.receive()) !=
        ERROR_SUCCESS)
        return;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG status =
            ::RegEnumKeyExW(office.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || !isVersion(std::wstring(name, length))) continue;
        const std::wstring version(name, length);
        const auto bitness = textIn(
            HKEY_LOCAL_MACHINE, std::wstring(kOfficeKey) + L"\\" + version + L"\\Outlook", L"Bitness", view);
        if (!bitness) continue;
        const Bitness found = bitnessOfPlatform(win::narrow(*bitness));
        if (found == Bitness::Unknown) continue;
        signs.push_back(
            {found, "Outlook " + win::narrow(version) + " Bitness " + win::narrow(*bitness) + viewName(view)});
    }
}

void programMachines(REGSAM view, std::vector<OfficeSign>& signs) {
    for (const wchar_t* program : kPrograms) {
        auto path = textIn(HKEY_LOCAL_MACHINE, std::wstring(kAppPaths) + program, nullptr, view);
        if (!path) continue;
        if (path->size() >= 2 && path->front() == L'"' && path->back() == L'"')
            *path = path->substr(1, path->size() - 2);
        const uint16_t machine = machineOfFile(*path);
        const Bitness found = bitnessOf(machine);
        // A stale App Paths entry or a program we cannot read says nothing about Office.
        if (found == Bitness::Unknown) continue;
        signs.push_back(
            {found, win::narrow(program) + " is " + machineText(machine) + " (" + win::narrow(*path) + ")"});
    }
}

}  // namespace

REGSAM viewOf(Bitness bitness) {
    return bitness == Bitness::Bits32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool isWindows64() {
    return kThisBitness == Bitness::Bits64 || RegistryAccess().isWow64();
}

std::vector<REGSAM> officeViews() {
    // On 32-bit Windows the view flags are ignored: one view, read once.
    return isWindows64() ? std::vector<REGSAM>{KEY_WOW64_64KEY, KEY_WOW64_32KEY} : std::vector<REGSAM>{0};
}

std::vector<OfficeSign> findOffice() {
    std::vector<OfficeSign> signs;
    const std::vector<REGSAM> views = officeViews();
    if (const auto platform = textIn(HKEY_LOCAL_MACHINE, kClickToRun, L"Platform", views.front())) {
        const Bitness found = bitnessOfPlatform(win::narrow(*platform));
        if (found != Bitness::Unknown) signs.push_back({found, "Click-to-Run Platform " + win::narrow(*platform)});
    }
    for (const REGSAM view : views) outlookBitness(view, signs);
    for (const REGSAM view : views) programMachines(view, signs);
    return signs;
}

}  // namespace doctor
