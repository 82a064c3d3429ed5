#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace doctor {

// One change the repair made, or tried to, or would not make.
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

// Where the repair keeps the previous values when no file is named: a new file
// "quillery-repair-<date>-<time>.reg" in the user's own %LOCALAPPDATA%\Corvane\Quillery. Empty when the user has
// no local application data folder.
std::wstring defaultRestoreFile();

// Undoes what Office did to the add-in for this user alone, nothing an administrator's policy decides and
// nothing for the whole machine: a LoadBehavior 2 in the user's own add-in key goes back to the machine's
// value (3 without a machine key), and the user's Disabled Items records that name a DLL the machine registers
// for the add-in, in either registry view, go (other add-ins' records stay). A record whose name holds control
// characters is left and said so: a registry file could not bring it back.
//
// The previous values are written first to `restoreFile`, a registry file that brings them back when imported:
// created new, never over a file or link that is there, readable and writable by this account and SYSTEM
// alone, and removed again when it cannot be written whole; without it nothing changes. Each change is said on
// `say` before it is made. Texts are UTF-8.
RepairResult repair(const std::wstring& restoreFile, std::FILE* say);

}  // namespace doctor
