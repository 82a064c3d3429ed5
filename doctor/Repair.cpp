#include "doctor/Repair.h"

#include <windows.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "doctor/AddInNames.h"
#include "doctor/Chain.h"
#include "doctor/HostRules.h"
#include "doctor/OfficeBitness.h"
#include "win/AnsiText.h"
#include "win/PathCompare.h"
#include "win/RegistryText.h"
#include "win/UniqueHandle.h"
#include "win/UniqueHkey.h"

namespace doctor {
namespace {

constexpr DWORD kLoadAtStartup = 3;
constexpr DWORD kSoftDisabled = 2;
constexpr wchar_t kRestoreFolder[] = L"\\Corvane\\Quillery";

// One planned change: the value as it is (for the restore file) and how to change it; or why it is left.
struct Planned {
    std::wstring keyPath;  // under HKCU
    std::wstring valueName;
    DWORD type = 0;
    std::vector<uint8_t> previous;
    std::optional<DWORD> newDword;  // none: the value is deleted
    std::string what;
    std::string refused;  // set: the change is not made, for this reason
};

std::string utf8(const std::wstring& text) {
    return win::utf8FromWide(text);
}

// A name as the repair's lines show it: one line, whatever the user put in it.
std::string shown(const std::wstring& name) {
    std::string text = utf8(name);
    std::replace_if(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
    return text;
}

// A registry file keeps one value a line, so a name that holds a line break (or any control character) could
// not be written back, and could even start lines of its own.
bool writable(const std::wstring& name) {
    return std::none_of(name.begin(), name.end(), [](wchar_t c) { return c < 0x20 || c == 0x7F; });
}

std::wstring regQuoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (const wchar_t c : text) {
        if (c == L'"' || c == L'\\') out += L'\\';
        out += c;
    }
    return out + L"\"";
}

// The value as a line of a registry file: dword for DWORDs, hex for binary, hex(type) otherwise.
std::wstring regLine(const Planned& change) {
    wchar_t number[16];
    if (change.type == REG_DWORD && change.previous.size() == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, change.previous.data(), sizeof(value));
        std::swprintf(number, 16, L"%08x", static_cast<unsigned>(value));
        return regQuoted(change.valueName) + L"=dword:" + number;
    }
    std::wstring line = regQuoted(change.valueName) + L"=hex";
    if (change.type != REG_BINARY) {
        std::swprintf(number, 16, L"(%x)", static_cast<unsigned>(change.type));
        line += number;
    }
    line += L":";
    for (size_t index = 0; index < change.previous.size(); ++index) {
        std::swprintf(number, 16, index ? L",%02x" : L"%02x", change.previous[index]);
        line += number;
    }
    return line;
}

// Security that lets this account and SYSTEM alone at what it guards: nobody else may read the values kept, or
// change them before they are imported.
class PrivateSecurity {
public:
    PrivateSecurity() {
        HANDLE opened = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) return;
        const win::UniqueHandle token(opened);
        DWORD size = 0;
        ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
        std::vector<BYTE> user(size ? size : 1);
        wchar_t* sid = nullptr;
        if (!::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size) ||
            !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
            return;
        const std::wstring text = L"D:P(A;OICI;FA;;;" + std::wstring(sid) + L")(A;OICI;FA;;;SY)";
        ::LocalFree(sid);
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, &descriptor_,
                                                                   nullptr))
            attributes_ = {sizeof attributes_, descriptor_, FALSE};
    }
    ~PrivateSecurity() {
        if (descriptor_) ::LocalFree(descriptor_);
    }
    PrivateSecurity(const PrivateSecurity&) = delete;
    PrivateSecurity& operator=(const PrivateSecurity&) = delete;

    // Null when it could not be made; nothing is then written.
    SECURITY_ATTRIBUTES* attributes() { return descriptor_ ? &attributes_ : nullptr; }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_ATTRIBUTES attributes_{};
};

// The registry file in the layout regedit exports: UTF-16LE with its byte-order mark.
bool writeRestoreFile(const std::wstring& path, const std::vector<Planned>& plan, std::string& problem) {
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n";
    for (const Planned& change : plan) {
        if (change.refused.empty())
            text += L"\r\n[HKEY_CURRENT_USER\\" + change.keyPath + L"]\r\n" + regLine(change) + L"\r\n";
    }
    PrivateSecurity security;
    if (!security.attributes()) {
        problem = "cannot make the restore file private to this account (error " +
                  std::to_string(::GetLastError()) + ")";
        return false;
    }
    // Never over a file that is there, which may be an earlier repair's only way back, nor through a link
    // that someone put where the file goes: creating it new fails on any name that is taken.
    win::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        const DWORD error = ::GetLastError();
        problem = "cannot create " + utf8(path) + " (error " + std::to_string(error) + ")" +
                  (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                       ? ": something is already there, and it is left as it is"
                       : "");
        return false;
    }
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes ||
        !::FlushFileBuffers(file.get())) {
        problem = "cannot write " + utf8(path) + " (error " + std::to_string(::GetLastError()) + ")";
        // Half a file would bring back half the values: it goes.
        file.reset();
        ::DeleteFileW(path.c_str());
        return false;
    }
    return true;
}

std::wstring hostAddInKey(const HostNames& host) {
    return L"Software\\Microsoft\\Office\\" + win::widen(host.officeKey) + L"\\Addins\\" + kProgIdWide;
}

// The LoadBehavior the machine gives the add-in: what its own key says in any view Office may read (3 where it
// has none). A machine's 2 in any view is not the user's to undo.
std::optional<DWORD> machineLoadBehavior(const std::wstring& keyPath) {
    std::optional<DWORD> found;
    for (const REGSAM view : officeViews()) {
        win::UniqueHkey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE | view, key.receive()) !=
            ERROR_SUCCESS)
            continue;
        DWORD value = 0, size = sizeof value, type = 0;
        if (::RegQueryValueExW(key.get(), L"LoadBehavior", nullptr, &type, reinterpret_cast<BYTE*>(&value),
                               &size) != ERROR_SUCCESS ||
            type != REG_DWORD)
            continue;
        if (value == kSoftDisabled) return std::nullopt;
        if (!found) found = value;
    }
    return found.value_or(kLoadAtStartup);
}

// Every DLL the machine registers for the add-in: a record may name the 64-bit or the 32-bit one, whichever
// Office disabled it.
std::vector<std::wstring> machineDlls() {
    std::vector<std::wstring> dlls;
    for (const REGSAM view : officeViews()) {
        const std::wstring dll = machineServerPath(view);
        if (!dll.empty() && std::none_of(dlls.begin(), dlls.end(),
                                         [&](const std::wstring& known) { return win::samePath(known, dll); }))
            dlls.push_back(dll);
    }
    return dlls;
}

std::vector<Planned> plan() {
    std::vector<Planned> planned;
    const std::vector<std::wstring> dlls = machineDlls();
    for (const HostNames& host : kHosts) {
        const std::wstring keyPath = hostAddInKey(host);
        if (win::registryDword(HKEY_CURRENT_USER, keyPath, L"LoadBehavior") == kSoftDisabled) {
            if (const auto machine = machineLoadBehavior(keyPath)) {
                Planned change{keyPath, L"LoadBehavior", REG_DWORD, {2, 0, 0, 0}, *machine, {}, {}};
                change.what = "HKCU\\" + utf8(keyPath) + ": LoadBehavior 2 -> " + std::to_string(*machine) +
                              " (" + host.title + " loads it at its next start)";
                planned.push_back(std::move(change));
            }
        }
        for (const DisabledRecord& record : readDisabledItems(disabledItemsPath(host.officeKey))) {
            // Only records that plainly name one of our DLLs: another add-in's, or one we cannot read, stay.
            if (std::none_of(dlls.begin(), dlls.end(),
                             [&](const std::wstring& dll) { return namesFile(record, dll); }))
                continue;
            Planned change{disabledItemsPath(host.officeKey), record.valueName, record.type, record.bytes,
                           std::nullopt, {}, {}};
            change.what = "HKCU\\" + utf8(change.keyPath) + ": remove record \"" + shown(record.valueName) +
                          "\" (" + utf8(record.path) + ") from " + host.title + "'s Disabled Items";
            if (!writable(record.valueName))
                change.refused = "not repaired: the record's name holds control characters, which a registry "
                                 "file cannot bring back; remove it in " +
                                 std::string(host.title) +
                                 " under File > Options > Add-ins > Manage: Disabled Items";
            planned.push_back(std::move(change));
        }
    }
    return planned;
}

LONG apply(const Planned& change) {
    win::UniqueHkey key;
    LONG status = ::RegOpenKeyExW(HKEY_CURRENT_USER, change.keyPath.c_str(), 0, KEY_SET_VALUE, key.receive());
    if (status != ERROR_SUCCESS) return status;
    if (!change.newDword) return ::RegDeleteValueW(key.get(), change.valueName.c_str());
    const DWORD value = *change.newDword;
    return ::RegSetValueExW(key.get(), change.valueName.c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

// Makes the folder (and its parent) the first time, private to this account like the files in it.
void makeRestoreFolder(const std::wstring& local) {
    PrivateSecurity security;
    const std::wstring corvane = local + L"\\Corvane";
    ::CreateDirectoryW(corvane.c_str(), security.attributes());
    ::CreateDirectoryW((local + kRestoreFolder).c_str(), security.attributes());
}

}  // namespace

std::wstring defaultRestoreFile() {
    wchar_t* local = nullptr;
    if (FAILED(::SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local)) || !local) {
        ::CoTaskMemFree(local);
        return {};
    }
    const std::wstring folder(local);
    ::CoTaskMemFree(local);
    makeRestoreFolder(folder);
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    wchar_t name[64];
    std::swprintf(name, 64, L"\\quillery-repair-%04u%02u%02u-%02u%02u%02u.reg", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond);
    return folder + kRestoreFolder + name;
}

RepairResult repair(const std::wstring& restoreFile, std::FILE* say) {
    RepairResult result;
    const std::vector<Planned> planned = plan();
    const bool anyToMake = std::any_of(planned.begin(), planned.end(),
                                       [](const Planned& change) { return change.refused.empty(); });
    if (!anyToMake) {
        if (planned.empty()) std::fputs("Repair: nothing for you to repair; nothing was changed\n", say);
    } else if (restoreFile.empty()) {
        result.problem = "there is no folder to keep the previous values in: name one with --restore-file";
    } else if (writeRestoreFile(restoreFile, planned, result.problem)) {
        // The file's full name, so that the way back works from any directory.
        wchar_t full[MAX_PATH] = {};
        const DWORD length = ::GetFullPathNameW(restoreFile.c_str(), MAX_PATH, full, nullptr);
        result.restoreFile = utf8(length > 0 && length < MAX_PATH ? std::wstring(full, length) : restoreFile);
        std::fprintf(say, "Repair: the previous values are saved in %s (to undo: regedit /s \"%s\")\n",
                     result.restoreFile.c_str(), result.restoreFile.c_str());
    }
    if (!result.problem.empty())
        std::fprintf(say, "Repair: nothing was changed: the previous values could not be saved: %s\n",
                     result.problem.c_str());
    for (const Planned& change : planned) {
        Change made{change.what, false, change.refused};
        if (change.refused.empty() && !result.restoreFile.empty()) {
            std::fprintf(say, "Changing %s\n", change.what.c_str());
            std::fflush(say);
            const LONG status = apply(change);
            made.done = status == ERROR_SUCCESS;
            if (!made.done) made.error = "error " + std::to_string(status);
            std::fprintf(say, made.done ? "  done\n" : "  failed: %s\n", made.error.c_str());
        } else if (!change.refused.empty()) {
            std::fprintf(say, "Leaving %s: %s\n", change.what.c_str(), change.refused.c_str());
        } else {
            continue;  // nothing was changed at all, and the problem says why
        }
        result.changes.push_back(std::move(made));
    }
    std::fflush(say);
    return result;
}

}  // namespace doctor
