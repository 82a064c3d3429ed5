// The long-running host: installs the product, registers the add-in through its DllRegisterServer (and leaves
// it registered) with add-in keys for the user in Word, Excel and PowerPoint besides, and runs complete host
// sessions one after another in this one process (10,000 unless told; in every other one the user unticks the
// add-in in the COM Add-ins dialog and ticks it on again, so that its library is freed and loaded anew),
// printing a checkpoint every thousand: time, handles, the next free TLS slot, GDI objects, private bytes,
// and whether the add-in could be unloaded. Everything it installed goes again at the end.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInDiscovery.h"
#include "tools/hostsim/AddInRegistration.h"
#include "tools/soak/Soak.h"
#include "win/CommandLine.h"

namespace {

void show(const soak::Checkpoint& checkpoint) {
    std::printf(
        "%7ld sessions  %8.1f s  handles %5lu  TLS slot %4lu  GDI objects %4lu  private %8.1f KB  "
        "DllCanUnloadNow %s\n",
        checkpoint.sessions, checkpoint.seconds, checkpoint.handles, checkpoint.nextTlsSlot,
        checkpoint.gdiObjects, static_cast<double>(checkpoint.privateBytes) / 1024.0,
        checkpoint.canUnloadNow == S_OK ? "S_OK" : "not S_OK");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const win::CommandLine commandLine(
        "quillery-soak", "usage: quillery-soak [<sessions> [<check every>]]\n",
        "Installs the product's fixtures, registers the add-in and runs complete host sessions one after\n"
        "another in this one process (10,000 unless told; every other one unticks the add-in in the COM\n"
        "Add-ins dialog and ticks it on again), with a checkpoint of time, handles, the next free TLS slot,\n"
        "GDI objects, private memory and DllCanUnloadNow every thousand (or as told). Everything goes again\n"
        "at the end.\n",
        {});
    if (const auto exitCode = commandLine.screen(argc, argv)) return *exitCode;
    soak::Options options;
    if (argc > 1) options.sessions = std::strtol(argv[1], nullptr, 10);
    if (argc > 2) options.checkEvery = std::strtol(argv[2], nullptr, 10);
    if (argc > 3 || options.sessions <= 0 || options.checkEvery <= 0)
        return commandLine.refuse("it takes at most two counts, each above 0");
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int status = 0;
    {
        if (FAILED(hostsim::registerAddInBesideProgram())) {
            std::fprintf(stderr, "quillery-soak: could not register the add-in\n");
            return 1;
        }
        fixtures::InstallationFixture installation;
        std::vector<std::unique_ptr<fixtures::CreatedKey>> addInKeys;
        for (const hostsim::HostProfile& host : hostsim::hostProfiles()) {
            const std::wstring path = hostsim::addInsKeyPath(host) + L"\\TandrelQuillery.Connect";
            addInKeys.push_back(std::make_unique<fixtures::CreatedKey>(
                HKEY_CURRENT_USER, std::string(path.begin(), path.end())));
            fixtures::setDword(HKEY_CURRENT_USER, addInKeys.back()->path(), "LoadBehavior", 3);
        }
        std::printf("%ld host sessions, a checkpoint every %ld\n", options.sessions, options.checkEvery);
        show(soak::measure(0, 0));
        options.onCheckpoint = show;
        const soak::Result result = soak::run(options);
        const soak::Checkpoint& first = result.checkpoints.front();
        const soak::Checkpoint& last = result.checkpoints.back();
        std::printf(
            "%ld sessions in %.1f s (%.2f ms each), %ld of them with a reload; %ld presses, %ld print calls "
            "on "
            "the hosts\n",
            result.sessions, last.seconds, last.seconds * 1000.0 / static_cast<double>(result.sessions),
            result.reloads, result.prints, result.hostPrintCalls);
        std::printf(
            "growth from the first checkpoint to the last: handles %+ld, TLS slot %+ld, GDI objects %+ld, "
            "private %+.1f KB\n",
            static_cast<long>(last.handles) - static_cast<long>(first.handles),
            static_cast<long>(last.nextTlsSlot) - static_cast<long>(first.nextTlsSlot),
            static_cast<long>(last.gdiObjects) - static_cast<long>(first.gdiObjects),
            (static_cast<double>(last.privateBytes) - static_cast<double>(first.privateBytes)) / 1024.0);
        std::printf("sessions with findings: %ld\n", result.sessionsWithFindings);
        for (const std::wstring& finding : result.firstFindings) std::printf("  %ls\n", finding.c_str());
        if (result.sessionsWithFindings) status = 1;
    }
    ::CoUninitialize();
    return status;
}
