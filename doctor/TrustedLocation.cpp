#include "doctor/TrustedLocation.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <vector>

#include "win/AnsiText.h"
#include "win/PathCompare.h"
#include "win/RegistryText.h"
#include "win/UniqueHkey.h"

namespace doctor {
namespace {

constexpr wchar_t kTrustedInstaller[] = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
constexpr wchar_t kWindowsVersionKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion";

// What lets an account put another file in the DLL's place: writing or replacing the file itself; adding,
// deleting or renaming in its folder; and, in every folder above, renaming the folder that holds it away.
constexpr ACCESS_MASK kTakeOver = WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
constexpr ACCESS_MASK kFileRights = kTakeOver | DELETE | GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr ACCESS_MASK kFolderRights = kTakeOver | DELETE | GENERIC_WRITE | FILE_ADD_FILE | FILE_DELETE_CHILD;
constexpr ACCESS_MASK kAncestorRights = kTakeOver | FILE_DELETE_CHILD;

bool isTrustedAccount(PSID sid) {
    if (!sid || !::IsValidSid(sid)) return false;
    for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
        BYTE known[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof known;
        if (::CreateWellKnownSid(type, nullptr, known, &size) && ::EqualSid(sid, known)) return true;
    }
    PSID installer = nullptr;
    if (!::ConvertStringSidToSidW(kTrustedInstaller, &installer)) return false;
    const bool same = ::EqualSid(sid, installer) != FALSE;
    ::LocalFree(installer);
    return same;
}

// CREATOR OWNER and CREATOR GROUP stand for whoever creates a child; on the object itself they grant nothing.
bool isPlaceholder(PSID sid) {
    const SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    return ::IsValidSid(sid) && std::memcmp(::GetSidIdentifierAuthority(sid), &creator, sizeof creator) == 0;
}

bool descriptorAllows(const std::wstring& path, ACCESS_MASK rights) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT,
                                OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const bool only = onlyAdministratorsMay(descriptor, rights);
    ::LocalFree(descriptor);
    return only;
}

// The machine's Program Files folders, as Windows keeps them for every process (both on 64-bit Windows).
std::vector<std::wstring> programFilesFolders() {
    std::vector<std::wstring> folders;
    win::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsVersionKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.receive()) != ERROR_SUCCESS)
        return folders;
    for (const wchar_t* name : {L"ProgramFilesDir", L"ProgramFilesDir (x86)"}) {
        const auto folder = win::registryText(key.get(), name);
        if (folder && folder->size() > 3) folders.push_back(*folder);
    }
    return folders;
}

bool isUnder(const std::wstring& path, std::wstring folder) {
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    return path.size() > folder.size() + 1 && path[folder.size()] == L'\\' &&
           win::samePath(path.substr(0, folder.size()), folder);
}

bool isLocalAbsolute(const std::wstring& path) {
    return path.size() > 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

}  // namespace

bool onlyAdministratorsMay(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights) {
    if (!descriptor || !::IsValidSecurityDescriptor(descriptor)) return false;
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    // An owner may always rewrite the entries below.
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !isTrustedAccount(owner)) return false;
    PACL dacl = nullptr;
    // No list at all grants everyone everything.
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl) return false;
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, index, reinterpret_cast<void**>(&header))) return false;
        if (header->AceFlags & INHERIT_ONLY_ACE) continue;
        switch (header->AceType) {
            case ACCESS_DENIED_ACE_TYPE:
            case ACCESS_DENIED_CALLBACK_ACE_TYPE:
            case SYSTEM_AUDIT_ACE_TYPE:
            case SYSTEM_ALARM_ACE_TYPE:
                continue;  // they only take rights away, or grant none
            case ACCESS_ALLOWED_ACE_TYPE:
            case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
                const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
                PSID sid = const_cast<DWORD*>(&ace->SidStart);
                if ((ace->Mask & rights) && !isPlaceholder(sid) && !isTrustedAccount(sid)) return false;
                continue;
            }
            default: {
                // An allowing entry of a kind we do not read might grant anyone anything.
                const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
                if (ace->Mask & rights) return false;
            }
        }
    }
    return true;
}

std::string whyNotTrusted(const std::wstring& path) {
    if (!isLocalAbsolute(path))
        return "is not an absolute path on a local drive, so it would be looked for in folders that others "
               "may write";
    wchar_t full[MAX_PATH * 4] = {};
    const DWORD length = ::GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
    if (length == 0 || length >= MAX_PATH * 4) return "is not a path Windows can resolve";
    const std::wstring resolved(full, length);
    for (const std::wstring& folder : programFilesFolders()) {
        if (isUnder(resolved, folder)) return {};
    }
    const std::string outside = "is outside the Program Files folders, and ";
    if (!descriptorAllows(resolved, kFileRights))
        return outside + "accounts other than the administrators may change the file";
    std::wstring folder = resolved.substr(0, resolved.find_last_of(L'\\'));
    if (!descriptorAllows(folder, kFolderRights))
        return outside + "accounts other than the administrators may change its folder " + win::narrow(folder);
    for (size_t slash = folder.find_last_of(L'\\'); slash != std::wstring::npos && slash > 2;
         slash = folder.find_last_of(L'\\')) {
        folder.resize(slash);
        if (!descriptorAllows(folder, kAncestorRights))
            return outside + "accounts other than the administrators may rename folders above it in " +
                   win::narrow(folder);
    }
    return {};
}

}  // namespace doctor
