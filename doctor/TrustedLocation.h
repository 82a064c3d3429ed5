#pragma once

#include <windows.h>

#include <string>

#include "win/UniqueHandle.h"
#include "win/UniqueLocalMemory.h"

namespace doctor {

// Administrators run the doctor elevated, and it loads the add-in's DLL and starts the doctor of the other
// bitness. It does so only with a file that no account but the administrators, SYSTEM and TrustedInstaller
// may change or put another file in the place of, and only while it holds that file.

// What a drive letter stands for in this process.
enum class DriveKind {
    Fixed,        // a fixed disk of this machine
    Substituted,  // a folder given a drive letter of its own (SUBST), which may be anyone's
    Other,        // a network share, a removable disk, or nothing
};

// What the location rule reads of the machine: the platform's answers in the doctor, a table in the tests.
class LocationFacts {
public:
    virtual ~LocationFacts() = default;
    // The owner and discretionary access list of the file or folder at `path` ("C:\Apps\Quillery.dll",
    // "C:\Apps", "C:\"); none when they cannot be read.
    virtual win::UniqueLocalMemory securityOf(const std::wstring& path) const = 0;
    virtual DriveKind driveOf(wchar_t letter) const = 0;
};

// The rule: whether the file registered as `named`, which the platform resolves to `finalPath` ("C:\..."
// with every junction, symbolic link and short name resolved, or "\\server\share\..."), may be loaded or
// started. The drive of both must be a fixed local one; then every component of the final path is judged by
// its own security: the file (written or replaced), its folder (a file added beside it, the folder renamed
// or replaced) and every folder above it up to the drive's root (renamed or replaced, or a folder below it
// renamed away). Empty when it may; else why not, for the report.
std::string whyNotTrustedAt(const std::wstring& named, const std::wstring& finalPath,
                            const LocationFacts& facts);

// The security rule on its own: whether nobody but the administrators, SYSTEM and TrustedInstaller holds any
// of `rights` on what `descriptor` guards, through an allowing entry or as its owner. A missing or
// empty-handed descriptor fails; entries that only pass to children do not count.
bool onlyAdministratorsMay(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights);

// A file opened to be judged and held open until it has been used: while it is held nobody may write,
// rename or delete it, so the file that is loaded or started under `path` is the one that was judged.
struct HeldFile {
    win::UniqueHandle handle;
    std::wstring path;    // the final path, by which to load or start it
    std::string refused;  // why it may not be used; empty when it may

    bool trusted() const { return handle.valid() && refused.empty(); }
};

// Opens `path` (sharing read only) and judges the file it reaches by the rule above.
HeldFile holdTrustedFile(const std::wstring& path);

// The same judgement for a file that is only reported on, never loaded or started: empty when it passes.
std::string whyNotTrusted(const std::wstring& path);

}  // namespace doctor
