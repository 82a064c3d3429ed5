// quillery-doctor: explains why the Quillery ribbon group does or does not show in Word, Excel and
// PowerPoint.
//   quillery-doctor [--json]
// Exit code 0 when all three hosts will show the ribbon, 1 when a link is broken, 2 for a wrong command line.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

#include "doctor/Checkup.h"
#include "doctor/ReportText.h"

int main(int argc, char** argv) {
    bool json = false;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--json") == 0) {
            json = true;
        } else {
            std::fprintf(stderr, "usage: quillery-doctor [--json]\n");
            return 2;
        }
    }
    // The add-in lives in the host's user-interface apartment; it is checked in one of its own.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const doctor::Report report = doctor::runCheckup();
    const std::string text = json ? doctor::asJson(report) : doctor::asText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    ::CoUninitialize();
    return report.ribbonShows() ? 0 : 1;
}
