#pragma once

#include "win/RegistryApi.h"

#include <windows.h>

#include <string>
#include <vector>

// Watches the registry seam: every call passes through to the real registry of the test prefix, and what the
// platform would hide (access masks, values queried, libraries loaded) is noted. It can also give a different
// answer to the WOW64 question, which the process cannot otherwise be asked to see (a 64-bit process is never
// under WOW64, a 32-bit one in the tests' 64-bit prefix always is). The seam holds plain
// function pointers, so one recorder is active at a time.
class RegistryRecorder {
public:
    enum class Wow64 {
        Real,          // the platform's own answer
        ReportsFalse,  // the query sets its out-value to FALSE: a native process
        ReportsTrue,   // the query sets its out-value to TRUE (1)
        ReportsTwo,    // the query sets a non-zero value other than TRUE
        QueryMissing,  // kernel32 does not export the query
    };

    explicit RegistryRecorder(Wow64 wow64 = Wow64::Real);
    ~RegistryRecorder();
    RegistryRecorder(const RegistryRecorder&) = delete;
    RegistryRecorder& operator=(const RegistryRecorder&) = delete;

    RegistryApi api() const;
    void clear();

    Wow64 wow64;
    // Opening a key to set values is refused, as Windows refuses a user the key's security does not grant
    // (Wine keeps no security on keys).
    bool denyWrites = false;
    std::vector<REGSAM> openMasks;
    std::vector<std::string> queriedValues;
    std::vector<std::string> loadedLibraries;
    int openedKeys = 0;
    int closedKeys = 0;
    int freedLibraries = 0;
};
