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
// either view). On 32-bit Windows there is one view, and only 32-bit Office.
std::vector<OfficeSign> findOffice();

// The registry view that Office of `bitness` sees, as the access flag that opens it from either bitness.
REGSAM viewOf(Bitness bitness);

// Whether this is 64-bit Windows, where Office of either bitness may be installed.
bool isWindows64();
// The registry views an Office may read here: the 64-bit and the 32-bit one on 64-bit Windows, else the one.
std::vector<REGSAM> officeViews();

}  // namespace doctor
