#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace doctor {

// One change the repair made, or tried to.
struct Change {
    std::string what;  // "HKCU\...\TandrelQuillery.Connect: LoadBehavior 2 -> 3 (Word)"
    bool done = false;
    std::string error;
};

struct RepairResult {
    std::string restoreFile;  // where the previous values are kept; empty when nothing changed
    std::vector<Change> changes;
    std::string problem;  // why nothing was changed, when the restore file could not be written
};

// The file name the repair keeps the previous values in when none is given: in the current directory,
// "quillery-repair-<date>-<time>.reg".
std::string defaultRestoreFile();

// Undoes what Office did to the add-in for this user alone, nothing an administrator's policy decides and
// nothing for the whole machine: a LoadBehavior 2 in the user's own add-in key goes back to the machine's
// value (3 without a machine key), and the user's Disabled Items records that name the add-in's DLL go (other
// add-ins' records stay). The previous values are written first to `restoreFile` as a registry file that
// brings them back when imported; it is never overwritten, and without it nothing changes. Each change is
// said on `say` before it is made. Texts are UTF-8.
RepairResult repair(const std::string& restoreFile, std::FILE* say);

}  // namespace doctor
