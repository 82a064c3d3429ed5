// quillery-doctor: explains why the Quillery ribbon group does or does not show in Word, Excel and
// PowerPoint (its usage below says how it is run).
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "doctor/Account.h"
#include "doctor/Checkup.h"
#include "doctor/Repair.h"
#include "doctor/ReportText.h"
#include "win/AnsiText.h"
#include "win/CommandLine.h"

namespace {

// The exit code of a --repair that would run with an administrator's rights.
constexpr int kRepairRefused = 3;

}  // namespace

int main(int argc, char** argv) {
    // Libraries this process loads by name come from System32 alone: never from the current folder or the
    // PATH, which an elevated console may take from a user.
    ::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const win::CommandLine commandLine(
        "quillery-doctor",
        "usage: quillery-doctor [--json | --summary] [--this-bitness] [--repair [--restore-file <path>]]\n",
        "Finds the installed Office and its bitness (Click-to-Run's Platform, Outlook's Bitness, the\n"
        "machine of WINWORD.EXE, EXCEL.EXE and POWERPNT.EXE) and checks the add-in registered in that\n"
        "Office's registry view: there, built for Office's machine, loading in a process of Office's\n"
        "bitness (the doctor of the other bitness installed beside that add-in checks it). With no Office\n"
        "found, both views are checked. Then it walks the chain from Office to the printed page: each\n"
        "host's add-in key, the class and its library, the type library, the installation key, the\n"
        "markup and string files, the default printer and its driver; the DLL's signature; for each host\n"
        "the policies, the Trust Center's signature rule and the Disabled Items that decide whether\n"
        "Office loads the add-in. One line per link; a broken link says what to do.\n"
        "  --json                the same report as JSON, for fleet tools\n"
        "  --summary             the report on one line of at most 2,048 characters, for fleet tools that\n"
        "                        keep little of a script's output (the verdict, where the group shows, and\n"
        "                        each link that is not sound)\n"
        "  --this-bitness        check only the Office of this program's own bitness, in its own\n"
        "                        registry view (the doctor runs the one of the other bitness so)\n"
        "  --repair              undo what Office did for this user alone: a LoadBehavior 2 in the user's\n"
        "                        add-in key goes back to the machine's value, and the Disabled Items records\n"
        "                        that name Quillery.dll (either bitness) go. Nothing a policy decides,\n"
        "                        nothing for the whole machine. Run it as the user whose Office it is,\n"
        "                        without elevation: elevated, or as SYSTEM, it is refused. Each change is\n"
        "                        said before it is made, then the report follows\n"
        "  --restore-file <path> where --repair saves the previous values, as a registry file that brings\n"
        "                        them back when imported (default: %LOCALAPPDATA%\\Corvane\\Quillery\\\n"
        "                        quillery-repair-<date>-<time>.reg); it is created new, never over a file or\n"
        "                        link that is there, and only this account and SYSTEM may open it\n"
        "Exit code 0 when Word, Excel and PowerPoint will all show the ribbon group, 1 otherwise, 2 for\n"
        "a wrong command line, 3 for a --repair refused because it runs elevated.\n",
        {{"--json", 0}, {"--summary", 0}, {"--this-bitness", 0}, {"--repair", 0}, {"--restore-file", 1}});
    if (const auto exitCode = commandLine.screen(argc, argv)) return *exitCode;
    bool json = false;
    bool summary = false;
    bool repairing = false;
    doctor::Scope scope = doctor::Scope::EveryOffice;
    std::string restoreFile;
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[index], "--summary") == 0) {
            summary = true;
        } else if (std::strcmp(argv[index], "--this-bitness") == 0) {
            scope = doctor::Scope::ThisBitness;
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
    if (json && summary) return commandLine.refuse("--json and --summary are two forms of one report: choose one");
    if (repairing) {
        const std::string refused = doctor::whyNoRepair(doctor::currentAccount());
        if (!refused.empty()) {
            std::fprintf(stderr, "%s\n", refused.c_str());
            return kRepairRefused;
        }
    }
    // The add-in lives in the host's user-interface apartment; it is checked in one of its own.
    const bool apartment = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    doctor::RepairResult repaired;
    if (repairing) {
        // With --json or --summary the changes are said on stderr, so that standard output is the report alone.
        repaired = doctor::repair(restoreFile.empty() ? doctor::defaultRestoreFile() : win::widen(restoreFile),
                                  json || summary ? stderr : stdout);
    }
    const doctor::Report report = doctor::runCheckup(scope);
    const doctor::RepairResult* repairShown = repairing ? &repaired : nullptr;
    const std::string text = json      ? doctor::asJson(report, repairShown)
                             : summary ? doctor::asSummary(report)
                                       : doctor::asText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (apartment) ::CoUninitialize();
    return report.ribbonShows() ? 0 : 1;
}
