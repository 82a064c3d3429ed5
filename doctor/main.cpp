// quillery-doctor: explains why the Quillery ribbon group does or does not show in Word, Excel and
// PowerPoint (its usage below says how it is run).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "doctor/Checkup.h"
#include "doctor/ReportText.h"
#include "win/CommandLine.h"

int main(int argc, char** argv) {
    const win::CommandLine commandLine(
        "quillery-doctor", "usage: quillery-doctor [--json]\n",
        "Walks the chain from Office to the printed page: each host's add-in key, the class and its\n"
        "library, the type library, the installation key, the markup and string files, the default\n"
        "printer and its driver. One line per link; a broken link says what to do.\n"
        "  --json  the same report as JSON, for fleet tools\n"
        "Exit code 0 when Word, Excel and PowerPoint will all show the ribbon group, 1 otherwise, 2 for\n"
        "a wrong command line.\n",
        {{"--json", 0}});
    if (const auto exitCode = commandLine.screen(argc, argv)) return *exitCode;
    bool json = false;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--json") == 0) {
            json = true;
        } else {
            return commandLine.refuse("unexpected argument \"" + std::string(argv[index]) + "\"");
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
