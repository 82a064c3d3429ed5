#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "doctor/Machine.h"

namespace doctor {

// One sign that an Office of some bitness is installed, and where it was seen (for the report).
struct OfficeSign {
    Bitness bitness = Bitness::Unknown;
    std::string evidence;
};

// Every sign of an installed Office: Click-to-Run's "Platform", each version's Outlook "Bitness" in either
// registry view, and the machine of WINWORD.EXE, EXCEL.EXE and POWERPNT.EXE where App Paths names them (in
// either view). On 32-bit Windows (`windows64` false) there is one view, and only 32-bit Office.
std::vector<OfficeSign> findOffice(bool windows64);

// The machine a file is built for (its PE header); 0 when it cannot be read or is not a program.
uint16_t machineOfFile(const std::wstring& path);
uint16_t machineOfFile(const std::string& ansiPath);

// The registry view that Office of `bitness` sees, as the access flag that opens it from either bitness.
REGSAM viewOf(Bitness bitness);

}  // namespace doctor
