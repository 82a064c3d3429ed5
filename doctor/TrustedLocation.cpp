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
// deleting or renaming in its folder, or renaming the folder away; and, for every folder above up to the
// drive's root, renaming it away or renaming away the folder below it on the path.
constexpr ACCESS_MASK kTakeOver = WRITE_DAC | WRITE_OWNER | GENERIC_ALL;
constexpr ACCESS_MASK kFileRights = kTakeOver | DELETE | GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr ACCESS_MASK kFolderRights = kTakeOver | DELETE | GENERIC_WRITE | FILE_ADD_FILE | FILE_DELETE_CHILD;
constexpr ACCESS_MASK kAncestorRights = kTakeOver | DELETE | FILE_DELETE_CHILD;

constexpr char kNotAbsolute[] =
    "is not an absolute path on a local drive, so it would be looked for in folders that others may write";
constexpr char kOthersMay[] = "accounts other than the administrators may ";

bool isTrustedAccount(PSID sid) {
    if (!sid || !::IsValidSid(sid)) return false;
    for (WELL_KNOWN_SID_TYPE type : {WinBuiltinAdministratorsSid, WinLocalSystemSid}) {
        BYTE known[SECURITY_MAX_SID_SIZE];
        DWORD size = sizeof known;
        if (::CreateWellKnownSid(type, nullptr, known, &size) && ::EqualSid(sid, known)) return true;
    }
    win::UniqueLocalMemory installer;
    if (!::ConvertStringSidToSidW(kTrustedInstaller, reinterpret_cast<PSID*>(installer.receive())))
        return false;
    return ::EqualSid(sid, installer.get()) != FALSE;
}

// CREATOR OWNER and CREATOR GROUP stand for whoever creates a child; on the object itself they grant nothing.
bool isPlaceholder(PSID sid) {
    const SID_IDENTIFIER_AUTHORITY creator = SECURITY_CREATOR_SID_AUTHORITY;
    return ::IsValidSid(sid) && std::memcmp(::GetSidIdentifierAuthority(sid), &creator, sizeof creator) == 0;
}

bool isLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool isLocalAbsolute(const std::wstring& path) {
    return path.size() > 3 && isLetter(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

std::string driveProblem(wchar_t letter, DriveKind kind) {
    const std::string drive = win::narrow(std::wstring(1, letter)) + ":";
    switch (kind) {
        case DriveKind::Fixed:
            return {};
        case DriveKind::Substituted:
            return "is on " + drive + ", a drive that stands for a folder (SUBST), which may be any user's";
        case DriveKind::Other:
            break;
    }
    return "is on " + drive +
           ", which is not a fixed local drive: on a share or a removable disk its security is not this "
           "machine's to judge";
}

// The machine's Program Files folders, as Windows keeps them for every process (both on 64-bit Windows).
std::vector<std::wstring> programFilesFolders() {
    std::vector<std::wstring> folders;
    win::UniqueHkey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kWindowsVersionKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY,
                        key.receive()) != ERROR_SUCCESS)
        return folders;
    for (const wchar_t* name : {L"ProgramFilesDir", L"ProgramFilesDir (x86)"}) {
        auto folder = win::registryText(key.get(), name);
        if (!folder || folder->size() <= 3) continue;
        while (folder->back() == L'\\') folder->pop_back();
        folders.push_back(*folder);
    }
    return folders;
}

// Whether `path` is `folder`, lies under it, or is the root of its drive.
bool onPathOf(const std::wstring& path, const std::wstring& folder) {
    if (path.size() == 3) return win::samePath(path, folder.substr(0, 3));
    return path.size() >= folder.size() && win::samePath(path.substr(0, folder.size()), folder) &&
           (path.size() == folder.size() || path[folder.size()] == L'\\');
}

// Wine keeps no security for files: it reports each one as owned by, and writable for, the one account that
// every program of a prefix runs as, elevated or not, so there is no boundary there for the rule to guard.
// So that the doctor's checks still run there end to end, the drive's root and the Program Files folders with
// all beneath them read there as Windows installs them; everything else reads as Wine reports it. Windows'
// own ntdll, which every process maps from System32 before any of its code runs, has no such export.
bool platformKeepsNoFileSecurity() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
constexpr wchar_t kAsWindowsInstallsIt[] = L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)";

class PlatformFacts : public LocationFacts {
public:
    PlatformFacts(HANDLE file, const std::wstring& finalPath)
        : file_(file), finalPath_(finalPath), programFiles_(programFilesFolders()) {}

    win::UniqueLocalMemory securityOf(const std::wstring& path) const override {
        win::UniqueLocalMemory descriptor;
        constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
        if (noFileSecurity_) {
            for (const std::wstring& folder : programFiles_) {
                if (!onPathOf(path, folder)) continue;
                ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                    kAsWindowsInstallsIt, SDDL_REVISION_1,
                    reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()), nullptr);
                return descriptor;
            }
        }
        // The file is asked through the handle that holds it; the folders above cannot change while they
        // pass the rule.
        const DWORD result =
            path == finalPath_
                ? ::GetSecurityInfo(file_, SE_FILE_OBJECT, kWhat, nullptr, nullptr, nullptr, nullptr,
                                    reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()))
                : ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, kWhat, nullptr, nullptr, nullptr,
                                          nullptr,
                                          reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()));
        if (result != ERROR_SUCCESS) descriptor.reset();
        return descriptor;
    }

    DriveKind driveOf(wchar_t letter) const override {
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        if (::GetDriveTypeW(root) != DRIVE_FIXED) return DriveKind::Other;
        // A substituted drive is a link to a folder in the object manager's namespace ("\??\C:\Users\...");
        // a disk's letter names its device.
        wchar_t target[MAX_PATH] = {};
        const wchar_t device[] = {letter, L':', L'\0'};
        if (::QueryDosDeviceW(device, target, MAX_PATH) == 0) return DriveKind::Other;
        return std::wcsncmp(target, L"\\??\\", 4) == 0 ? DriveKind::Substituted : DriveKind::Fixed;
    }

private:
    HANDLE file_;
    std::wstring finalPath_;
    std::vector<std::wstring> programFiles_;
    bool noFileSecurity_ = platformKeepsNoFileSecurity();
};

// The path the platform knows the open file by: every junction, symbolic link and short name resolved.
// "C:\..." for a drive, "\\server\share\..." for a share; empty when it cannot tell.
std::wstring finalPathOf(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(file, &path[0], static_cast<DWORD>(path.size()),
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length);  // too short: the length asked for counts the terminating null
    }
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

}  // namespace

bool onlyAdministratorsMay(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights) {
    if (!descriptor || !::IsValidSecurityDescriptor(descriptor)) return false;
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    // An owner may always rewrite the entries below.
    if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !isTrustedAccount(owner))
        return false;
    PACL dacl = nullptr;
    // No list at all grants everyone everything.
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return false;
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

std::string whyNotTrustedAt(const std::wstring& named, const std::wstring& finalPath,
                            const LocationFacts& facts) {
    if (!isLocalAbsolute(named)) return kNotAbsolute;
    if (const std::string problem = driveProblem(named[0], facts.driveOf(named[0])); !problem.empty())
        return problem;
    if (!isLocalAbsolute(finalPath))
        return "leads to " + win::narrow(finalPath) + ", which is on no drive of this machine";
    if (const std::string problem = driveProblem(finalPath[0], facts.driveOf(finalPath[0])); !problem.empty())
        return "leads to " + win::narrow(finalPath) + ", which " + problem;

    // From the file up to the drive's root, each with what would let an account replace what lies below.
    std::wstring component = finalPath;
    for (int level = 0;; ++level) {
        const ACCESS_MASK rights = level == 0 ? kFileRights : level == 1 ? kFolderRights : kAncestorRights;
        if (!onlyAdministratorsMay(facts.securityOf(component).get(), rights)) {
            const std::string where = win::samePath(finalPath, named)
                                          ? std::string()
                                          : " (it leads to " + win::narrow(finalPath) + ")";
            if (level == 0) return std::string(kOthersMay) + "change the file" + where;
            if (level == 1)
                return std::string(kOthersMay) + "add files to, rename or replace its folder " +
                       win::narrow(component) + where;
            return std::string(kOthersMay) + "rename or replace the folders on its path at " +
                   win::narrow(component) + where;
        }
        if (component.size() <= 3) return {};
        const size_t slash = component.find_last_of(L'\\');
        component.resize(slash <= 2 ? 3 : slash);
    }
}

HeldFile holdTrustedFile(const std::wstring& path) {
    HeldFile held;
    if (!isLocalAbsolute(path)) {
        held.refused = kNotAbsolute;
        return held;
    }
    // Read is all anyone else may do while it is held: no writing, renaming or deleting.
    held.handle.reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!held.handle) {
        held.refused =
            "cannot be opened to be checked and held (error " + std::to_string(::GetLastError()) + ")";
        return held;
    }
    held.path = finalPathOf(held.handle.get());
    if (held.path.empty()) {
        held.refused = "is not a path Windows can resolve";
        return held;
    }
    held.refused = whyNotTrustedAt(path, held.path, PlatformFacts(held.handle.get(), held.path));
    return held;
}

std::string whyNotTrusted(const std::wstring& path) {
    return holdTrustedFile(path).refused;
}

}  // namespace doctor
