#include "doctor/Repair.h"

#include <windows.h>

#include <cstring>
#include <optional>

#include "doctor/Chain.h"
#include "doctor/HostRules.h"
#include "win/RegistryText.h"
#include "win/UniqueHandle.h"
#include "win/UniqueHkey.h"

namespace doctor {
namespace {

constexpr DWORD kLoadAtStartup = 3;
constexpr DWORD kSoftDisabled = 2;

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                             0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length,
                              nullptr, nullptr);
    return result;
}

std::wstring wide(const std::string& text) {
    const int length =
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &result[0], length);
    return result;
}

// One planned change: the value as it is (for the restore file) and how to change it.
struct Planned {
    std::wstring keyPath;  // under HKCU
    std::wstring valueName;
    DWORD type = 0;
    std::vector<uint8_t> previous;
    std::optional<DWORD> newDword;  // none: the value is deleted
    std::string what;
};

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

// The registry file in the layout regedit exports: UTF-16LE with its byte-order mark.
bool writeRestoreFile(const std::string& path, const std::vector<Planned>& plan, std::string& problem) {
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n";
    for (const Planned& change : plan)
        text += L"\r\n[HKEY_CURRENT_USER\\" + change.keyPath + L"]\r\n" + regLine(change) + L"\r\n";
    // Never over a file that is there: it may be an earlier repair's only way back.
    win::UniqueHandle file(::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        file.release();
        problem = "cannot create " + path + " (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    if (!::WriteFile(file.get(), text.data(), bytes, &written, nullptr) || written != bytes ||
        !::FlushFileBuffers(file.get())) {
        problem = "cannot write " + path + " (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    return true;
}

std::vector<Planned> plan() {
    std::vector<Planned> planned;
    const std::wstring dllPath = registeredServerPath();
    for (const HostNames& host : kHosts) {
        const std::wstring keyPath =
            L"Software\\Microsoft\\Office\\" +
            std::wstring(host.officeKey, host.officeKey + std::strlen(host.officeKey)) + L"\\Addins\\" +
            kProgIdWide;
        if (win::registryDword(HKEY_CURRENT_USER, keyPath, L"LoadBehavior") == kSoftDisabled) {
            const DWORD machine =
                win::registryDword(HKEY_LOCAL_MACHINE, keyPath, L"LoadBehavior").value_or(kLoadAtStartup);
            // The machine's own 2 is not the user's to undo.
            if (machine != kSoftDisabled) {
                Planned change{keyPath, L"LoadBehavior", REG_DWORD, {2, 0, 0, 0}, machine, {}};
                change.what = "HKCU\\" + utf8(keyPath) + ": LoadBehavior 2 -> " + std::to_string(machine) +
                              " (" + host.title + " loads it at its next start)";
                planned.push_back(std::move(change));
            }
        }
        const HostRules rules = readHostRules(host.officeKey);
        for (const DisabledRecord& record : rules.disabledItems) {
            // Only records that plainly name our DLL: another add-in's, or one we cannot read, stay.
            if (!namesFile(record, dllPath)) continue;
            Planned change{disabledItemsPath(host.officeKey),
                           record.valueName,
                           record.type,
                           record.bytes,
                           std::nullopt,
                           {}};
            change.what = "HKCU\\" + utf8(change.keyPath) + ": remove record \"" + utf8(record.valueName) +
                          "\" (" + utf8(record.path) + ") from " + host.title + "'s Disabled Items";
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

}  // namespace

std::string defaultRestoreFile() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char name[64];
    std::snprintf(name, sizeof(name), "quillery-repair-%04u%02u%02u-%02u%02u%02u.reg", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return name;
}

RepairResult repair(const std::string& restoreFile, std::FILE* say) {
    RepairResult result;
    const std::vector<Planned> planned = plan();
    if (planned.empty()) {
        std::fputs("Repair: nothing for you to repair; nothing was changed\n", say);
        return result;
    }
    if (!writeRestoreFile(restoreFile, planned, result.problem)) {
        std::fprintf(say, "Repair: nothing was changed: the previous values could not be saved: %s\n",
                     result.problem.c_str());
        return result;
    }
    // The file's full name, so that the way back works from any directory.
    const std::wstring given = wide(restoreFile);
    wchar_t full[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
    result.restoreFile = length > 0 && length < MAX_PATH ? utf8(full) : restoreFile;
    std::fprintf(say, "Repair: the previous values are saved in %s (to undo: regedit /s \"%s\")\n",
                 result.restoreFile.c_str(), result.restoreFile.c_str());
    for (const Planned& change : planned) {
        std::fprintf(say, "Changing %s\n", change.what.c_str());
        std::fflush(say);
        Change made{change.what, false, {}};
        const LONG status = apply(change);
        made.done = status == ERROR_SUCCESS;
        if (!made.done) made.error = "error " + std::to_string(status);
        std::fprintf(say, made.done ? "  done\n" : "  failed: %s\n", made.error.c_str());
        result.changes.push_back(std::move(made));
    }
    std::fflush(say);
    return result;
}

}  // namespace doctor
