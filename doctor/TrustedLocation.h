#pragma once

#include <windows.h>

#include <string>

namespace doctor {

// Administrators run the doctor elevated, and it loads the add-in's DLL and starts the doctor of the other
// bitness. It does so only for a file named by an absolute path and kept where no account but the
// administrators may change it: under a Program Files folder of this Windows, or in a folder whose security
// grants changing it, and the file, to the administrators, SYSTEM and TrustedInstaller alone (and to no one
// above it who could rename the folder away). Empty when the file may be loaded; else why not, for the report.
std::string whyNotTrusted(const std::wstring& path);

// The security rule on its own: whether nobody but the administrators, SYSTEM and TrustedInstaller holds any of
// `rights` on what `descriptor` guards, through an allowing entry or as its owner. A missing or empty-handed
// descriptor fails; entries that only pass to children do not count.
bool onlyAdministratorsMay(PSECURITY_DESCRIPTOR descriptor, ACCESS_MASK rights);

}  // namespace doctor
