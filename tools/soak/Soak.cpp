#include "tools/soak/Soak.h"

#include <vector>

#include "tools/fixtures/PrinterFixture.h"
#include "tools/hostsim/HostSession.h"
#include "tools/hostsim/ProcessFootprint.h"
#include "win/EntryPoint.h"
#include "win/UniqueLibrary.h"

namespace soak {
namespace {

using fixtures::PrinterFixture;

PrinterFixture::Options printerOfKind(long kind) {
    switch (kind % 4) {
        case 0:
            return PrinterFixture::Options();
        case 1:
            return PrinterFixture::makers({{PrinterFixture::kOnceDuplex, 0}});
        case 2:
            return PrinterFixture::otherMake();
        default:
            return PrinterFixture::noDefaultPrinter();
    }
}

HRESULT addInCanUnloadNow() {
    const HMODULE module = ::GetModuleHandleW(L"Quillery.dll");
    if (!module) return S_FALSE;
    auto canUnload = entryPointAs<HRESULT(WINAPI*)()>(::GetProcAddress(module, "DllCanUnloadNow"));
    return canUnload ? canUnload() : E_UNEXPECTED;
}

// Returns how many buttons were pressed.
long actInGroup(hostsim::HostSession& session, long round) {
    std::vector<hostsim::UserAction> actions;
    for (const auto& listed : session.addIns()) {
        if (!listed.session) continue;
        for (const hostsim::ShownControl& control : listed.session->controls()) {
            if (!control.visible || control.isLauncher()) continue;
            const std::wstring& kind = control.markup.kind;
            if (kind == L"dropDown" && !control.items.empty())
                actions.push_back({hostsim::UserAction::Kind::Choose, control.markup.id,
                                   static_cast<LONG>(round % static_cast<long>(control.items.size()))});
            else if (kind == L"checkBox" && (round / 12) % 2 == 1)
                actions.push_back({hostsim::UserAction::Kind::Toggle, control.markup.id});
            else if (kind == L"button")
                actions.push_back({hostsim::UserAction::Kind::Press, control.markup.id});
        }
    }
    long presses = 0;
    for (const hostsim::UserAction& action : actions) {
        session.perform(action);
        presses += action.kind == hostsim::UserAction::Kind::Press;
    }
    return presses;
}

}  // namespace

Checkpoint measure(long sessions, double seconds) {
    Checkpoint checkpoint;
    checkpoint.sessions = sessions;
    checkpoint.seconds = seconds;
    const hostsim::ProcessFootprint footprint = hostsim::processFootprint();
    checkpoint.handles = footprint.handles;
    checkpoint.nextTlsSlot = footprint.nextTlsSlot;
    // Wine does not count GDI objects (0 here); Windows does.
    checkpoint.gdiObjects = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    checkpoint.privateBytes = footprint.privateBytes;
    checkpoint.canUnloadNow = addInCanUnloadNow();
    return checkpoint;
}

Result run(const Options& options) {
    Result result;
    LARGE_INTEGER start, now, frequency;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    // Office has the spooler loaded all along; freed with the add-in at every reload, Wine's spooler library
    // would keep a handle at every load.
    const win::UniqueLibrary spooler(::LoadLibraryW(L"winspool.drv"));
    hostsim::HostSession::Options sessionOptions;
    sessionOptions.addIn.trace = false;
    const auto& hosts = hostsim::hostProfiles();
    for (long round = 0; round < options.sessions; ++round) {
        // Twelve rounds go through every host with every printer.
        const PrinterFixture printer(printerOfKind(round / 3));
        {
            hostsim::HostSession session(hosts[static_cast<size_t>(round % 3)], sessionOptions);
            session.start();
            result.prints += actInGroup(session, round);
            if (options.reloadEvery > 0 && round % options.reloadEvery == options.reloadEvery - 1) {
                // Ticked off and on again in the COM Add-ins dialog: COM frees the library and loads it anew,
                // and the group must come back with the choices just made.
                session.reloadAddIns();
                ++result.reloads;
            }
            session.shutDown();
            for (const std::wstring& call : session.office().calls()) {
                if (call.find(L".PrintOut(") != std::wstring::npos) ++result.hostPrintCalls;
            }
            const std::vector<hostsim::Finding> findings = session.findings();
            bool reported = false;
            for (const hostsim::Finding& finding : findings) {
                // No default printer: the add-in rightly hands out no markup.
                if (finding.kind == hostsim::Finding::Kind::NoMarkup) continue;
                if (!reported) ++result.sessionsWithFindings;
                reported = true;
                if (result.firstFindings.size() < 10)
                    result.firstFindings.push_back(L"session " + std::to_wstring(round + 1) + L": " +
                                                   finding.text);
            }
        }
        ++result.sessions;
        if (result.sessions % options.checkEvery == 0 || result.sessions == options.sessions) {
            ::QueryPerformanceCounter(&now);
            const Checkpoint checkpoint =
                measure(result.sessions, static_cast<double>(now.QuadPart - start.QuadPart) /
                                             static_cast<double>(frequency.QuadPart));
            result.checkpoints.push_back(checkpoint);
            if (options.onCheckpoint) options.onCheckpoint(checkpoint);
        }
    }
    return result;
}

}  // namespace soak
