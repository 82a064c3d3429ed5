// quillery-doctor: explains why the Quillery ribbon group does or does not show in Word, Excel and
// PowerPoint (its usage below says how it is run).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "doctor/Checkup.h"
#include "doctor/Repair.h"
#include "doctor/ReportText.h"
#include "win/CommandLine.h"

int main(int argc, char** argv) {
    const win::CommandLine commandLine(
        "quillery-doctor", "usage: quillery-doctor [--json] [--repair [--restore-file <path>]]\n",
        "Walks the chain from Office to the printed page: each host's add-in key, the class and its\n"
        "library, the type library, the installation key, the markup and string files, the default\n"
        "printer and its driver; the DLL's signature; for each host the policies, the Trust Center's\n"
        "signature rule and the Disabled Items that decide whether Office loads the add-in. One line per\n"
        "link; a broken link says what to do.\n"
        "  --json                the same report as JSON, for fleet tools\n"
        "  --repair              undo what Office did for this user alone: a LoadBehavior 2 in the user's\n"
        "                        add-in key goes back to the machine's value, and the Disabled Items "
        "records\n"
        "                        that name Quillery.dll go. Nothing a policy decides, nothing for the whole\n"
        "                        machine. Each change is said before it is made, then the report follows\n"
        "  --restore-file <path> where --repair saves the previous values, as a registry file that brings\n"
        "                        them back when imported (default: quillery-repair-<date>-<time>.reg in the\n"
        "                        current directory); an existing file is never overwritten\n"
        "Exit code 0 when Word, Excel and PowerPoint will all show the ribbon group, 1 otherwise, 2 for\n"
        "a wrong command line.\n",
        {{"--json", 0}, {"--repair", 0}, {"--restore-file", 1}});
    if (const auto exitCode = commandLine.screen(argc, argv)) return *exitCode;
    bool json = false;
    bool repairing = false;
    std::string restoreFile;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[index], "--repair") == 0) {
            repairing = true;
        } else if (std::strcmp(argv[index], "--restore-file") == 0 && index + 1 < argc) {
            restoreFile = argv[++index];
        } else if (std::strcmp(argv[index], "--restore-file") == 0) {
            return commandLine.refuse("--restore-file needs a path");
        } else {
            return commandLine.refuse("unexpected argument \"" + std::string(argv[index]) + "\"");
        }
    }
    if (!restoreFile.empty() && !repairing) return commandLine.refuse("--restore-file goes with --repair");
    // The add-in lives in the host's user-interface apartment; it is checked in one of its own.
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    doctor::RepairResult repaired;
    if (repairing) {
        // With --json the changes are said on stderr, and reported in the JSON.
        repaired = doctor::repair(restoreFile.empty() ? doctor::defaultRestoreFile() : restoreFile,
                                  json ? stderr : stdout);
    }
    const doctor::Report report = doctor::runCheckup();
    const doctor::RepairResult* repairShown = repairing ? &repaired : nullptr;
    const std::string text = json ? doctor::asJson(report, repairShown) : doctor::asText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    ::CoUninitialize();
    return report.ribbonShows() ? 0 : 1;
}
