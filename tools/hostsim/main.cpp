// The host simulator: starts Word, Excel or PowerPoint as Office does as far as add-ins go, and shows what
// the user and Office would see: the add-ins the host finds and how it loads them, what Office would report
// about them, the add-in's ribbon group, and every call the host made. Then, like a user, it chooses items,
// toggles boxes and presses buttons in the group, and shows the driver's settings key and what the host was
// asked to do before and after. At exit it shuts the add-ins down and checks that every object it handed them
// is back.
//
//   quillery-hostsim [--trace] [--disable-slow] [--window [<close signal>]] [--about <close signal>]
//                    [--reload <cycles>] word|excel|powerpoint [--choose <id>=<index>] [--toggle <id>]
//                    [--press <id>] ...
//
// The add-in must be registered first, as an installer does it (regsvr32 Quillery.dll). The host follows
// Office's rules for loading (policies, the Trust Center, Disabled Items) and, as Office does, sets a failing
// add-in's LoadBehavior to 2 for the user; --disable-slow also puts an add-in that started slowly on the
// Disabled Items list. --trace shows every callback of the group's display too. --window draws the group with
// real controls wired to the add-in's callbacks and runs until the window is closed (or the signal file
// exists). --about presses the group's dialog launcher over an active host window; the simulator says where
// the box opened and presses its OK button once the signal file exists (the demo takes its screenshot in
// between). --reload then unticks the add-ins in the COM Add-ins dialog and ticks them on again, as many
// times as told, checking every reference after each release, that the library was freed, and that the group
// shows the user's choices as before; it tells how the process's handles, TLS slots and private memory went.
// The exit code is 0 when the host ran and the reference check held, 1 when it found something, 2 on a usage
// error.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/ToolbarSettings.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AboutWatch.h"
#include "tools/hostsim/GroupWindow.h"
#include "tools/hostsim/HostSession.h"
#include "tools/hostsim/ProcessFootprint.h"
#include "win/CommandLine.h"

namespace {

using hostsim::AddInSession;
using hostsim::Finding;
using hostsim::HostSession;
using hostsim::ShownControl;
using hostsim::UserAction;

void printLine(const std::wstring& text) {
    // The console may be a pipe: write UTF-8.
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    std::printf("%s\n", narrow.c_str());
    std::fflush(stdout);
}

void showControl(const ShownControl& control) {
    std::wstring line = L"  " + std::wstring(control.markup.kind == L"group" ? L"" : L"  ") +
                        control.markup.kind + L" " + control.markup.id + L"  \"" + control.label + L"\"";
    if (control.isLauncher()) line += L"  (the group's dialog launcher)";
    if (!control.visible) line += L"  hidden";
    if (!control.enabled) line += L"  disabled";
    if (control.hasPressed) line += control.pressed ? L"  [x]" : L"  [ ]";
    if (control.hasSelection) {
        line += L"  selected " + std::to_wstring(control.selected);
        if (control.selected >= 0 && control.selected < static_cast<LONG>(control.items.size()))
            line += L" \"" + control.items[control.selected].label + L"\"";
    }
    printLine(line);
    for (const ShownControl::Item& item : control.items)
        printLine(L"        item " + item.id + L"  \"" + item.label + L"\"");
}

// The one-shot values in the default printer's driver key, as the driver will find them: a 64-bit driver
// keeps its key in the 64-bit view, which a 32-bit host reaches only by asking for it.
void showDriverKey() {
    const ToolbarSettings settings;
    const std::string key = settings.printerSettingsKeyPath();
    if (key.empty()) {
        printLine(L"  the default printer has no driver settings key");
        return;
    }
    printLine(L"  HKLM\\" + std::wstring(key.begin(), key.end()) + L" (64-bit view)");
    for (const char* name : {"OnceBlackAndWhite", "OnceDuplex", "OnceNUp", "OncePrintQuality"}) {
        const std::optional<uint32_t> value =
            fixtures::dwordOf(HKEY_LOCAL_MACHINE, key, name, fixtures::PrinterFixture::kDriverView);
        printLine(L"    " + std::wstring(name, name + std::strlen(name)) + L" = " +
                  (value ? std::to_wstring(*value) : L"(absent)"));
    }
}

void showHostCalls(HostSession& session) {
    if (session.office().calls().empty()) printLine(L"  (none)");
    for (const std::wstring& call : session.office().calls()) printLine(L"  " + call);
    if (!session.office().settings().empty()) {
        printLine(L"  the document's settings:");
        for (const std::wstring& setting : session.office().settings()) printLine(L"    " + setting);
    }
}

void showTrace(const std::vector<std::wstring>& trace, size_t from) {
    for (size_t index = from; index < trace.size(); ++index) printLine(L"  " + trace[index]);
}

std::vector<size_t> traceSizes(const HostSession& session) {
    std::vector<size_t> sizes;
    for (const HostSession::ListedAddIn& listed : session.addIns())
        sizes.push_back(listed.session ? listed.session->trace().size() : 0);
    return sizes;
}

void showTraceSince(const HostSession& session, const std::vector<size_t>& sizes) {
    for (size_t index = 0; index < session.addIns().size(); ++index) {
        if (session.addIns()[index].session)
            showTrace(session.addIns()[index].session->trace(), sizes[index]);
    }
}

// One user action and the host's calls it made.
void perform(HostSession& session, const UserAction& action) {
    const std::vector<size_t> traced = traceSizes(session);
    const bool done = session.perform(action);
    showTraceSince(session, traced);
    if (!done) printLine(L"  (" + action.controlId + L": nothing done)");
}

// The COM Add-ins dialog, `cycles` times: the calls of the first cycle, then what the cycles did to the
// process.
void reload(HostSession& session, long cycles) {
    printLine(L"---- the user unticks the add-ins in the COM Add-ins dialog and ticks them on again, " +
              std::to_wstring(cycles) + L" time(s) ----");
    const size_t findingsBefore = session.findings().size();
    const hostsim::ProcessFootprint before = hostsim::processFootprint();
    long reloaded = 0;
    // Only the first cycle is traced: the traces of all would be most of what the process's memory gains.
    const auto trace = [&session](bool on) {
        for (const HostSession::ListedAddIn& listed : session.addIns()) {
            if (listed.session) listed.session->setTracing(on);
        }
    };
    for (long cycle = 0; cycle < cycles; ++cycle) {
        const std::vector<size_t> traced = traceSizes(session);
        reloaded += session.reloadAddIns();
        if (cycle == 0) showTraceSince(session, traced);
        trace(false);
    }
    const hostsim::ProcessFootprint after = hostsim::processFootprint();
    trace(true);
    const bool clean = session.findings().size() == findingsBefore;
    wchar_t line[320];
    std::swprintf(
        line, 320,
        L"  %ld of %ld cycles connected again; %ls; the process before and after: handles %lu -> %lu, "
        L"next free TLS slot %lu -> %lu, private memory %.0f KB -> %.0f KB",
        reloaded, cycles,
        clean ? L"every reference back, the library freed and the group as before each time"
              : L"see what Office would report",
        before.handles, after.handles, before.nextTlsSlot, after.nextTlsSlot,
        static_cast<double>(before.privateBytes) / 1024.0, static_cast<double>(after.privateBytes) / 1024.0);
    printLine(line);
}

struct Command {
    const hostsim::HostProfile* host = nullptr;
    bool trace = false;
    bool disableSlow = false;
    bool window = false;
    std::wstring windowSignal;
    std::wstring aboutSignal;
    long reloads = 0;
    std::vector<UserAction> actions;
};

bool parse(int argc, wchar_t** argv, Command& command) {
    for (int index = 1; index < argc; ++index) {
        const std::wstring argument = argv[index];
        const bool hasValue = index + 1 < argc;
        if (argument == L"--trace") {
            command.trace = true;
        } else if (argument == L"--disable-slow") {
            command.disableSlow = true;
        } else if (argument == L"--window") {
            command.window = true;
            if (hasValue && argv[index + 1][0] != L'-' && !hostsim::hostNamed(argv[index + 1]))
                command.windowSignal = argv[++index];
        } else if (argument == L"--about" && hasValue) {
            command.aboutSignal = argv[++index];
        } else if (argument == L"--reload" && hasValue) {
            wchar_t* end = nullptr;
            command.reloads = std::wcstol(argv[++index], &end, 10);
            if (end == argv[index] || *end != L'\0' || command.reloads < 1) return false;
        } else if ((argument == L"--choose" || argument == L"--toggle" || argument == L"--press") &&
                   hasValue) {
            UserAction action{UserAction::Kind::Press, argv[++index]};
            if (argument == L"--choose") {
                const size_t equals = action.controlId.find(L'=');
                if (equals == std::wstring::npos) return false;
                action.kind = UserAction::Kind::Choose;
                action.index = std::wcstol(action.controlId.c_str() + equals + 1, nullptr, 10);
                action.controlId.erase(equals);
            } else if (argument == L"--toggle") {
                action.kind = UserAction::Kind::Toggle;
            }
            command.actions.push_back(action);
        } else if (const hostsim::HostProfile* host = hostsim::hostNamed(argument)) {
            command.host = host;
        } else {
            return false;
        }
    }
    return command.host != nullptr;
}

// The host's bitness, as Office names its two builds. A 32-bit host on 64-bit Windows finds the machine's
// add-in keys in the 32-bit view of the registry (where a 32-bit add-in registers), the user's in the one
// view that both bitnesses share, and loads only an add-in of its own bitness.
const wchar_t* bitness() {
    return sizeof(void*) == 8 ? L"64-bit" : L"32-bit";
}

int run(const Command& command) {
    HostSession::Options options;
    options.disableSlowAddIns = command.disableSlow;
    HostSession session(*command.host, options);
    // The About box opens over the host's active window; the group's own window is that in window mode.
    std::unique_ptr<hostsim::AboutWatch> about;
    if (!command.window) about = std::make_unique<hostsim::AboutWatch>(command.aboutSignal);

    printLine(L"==== " + std::wstring(command.host->title) + L" (" + bitness() + L") starts");
    session.start();
    printLine(L"---- add-ins in " + hostsim::addInsKeyPath(*command.host) + L" (machine: its " + bitness() +
              L" view; user) ----");
    if (session.addIns().empty()) printLine(L"  none");
    for (const HostSession::ListedAddIn& listed : session.addIns()) {
        std::wstring line = L"  " + listed.key.keyPath(*command.host);
        if (!listed.key.friendlyName.empty()) line += L"  \"" + listed.key.friendlyName + L"\"";
        line += L"  " + listed.key.loadBehaviorText();
        if (listed.refusal()) line += L"  -> not loaded: refused by Office's rules (see below)";
        if (listed.session) {
            wchar_t took[64];
            std::swprintf(took, 64, L" in %.1f ms", listed.session->loadMilliseconds());
            line += listed.session->connected() ? std::wstring(L"  -> loaded") + took : L"  -> not loaded";
        }
        printLine(line);
    }
    for (const HostSession::ListedAddIn& listed : session.addIns()) {
        if (!listed.session) continue;
        AddInSession& addIn = *listed.session;
        printLine(L"---- " + addIn.progId() + L": the host's calls at start-up ----");
        showTrace(addIn.trace(), 0);
        const hostsim::PhaseTimes& phases = addIn.phaseTimes();
        wchar_t timing[256];
        std::swprintf(
            timing, 256,
            L"  ... and %ld callbacks by name for the group's display; create %.1f ms, connect %.1f ms, "
            L"markup %.1f ms (with the XML reader's first use), display %.1f ms (with the type "
            L"information's first use)",
            addIn.host().callCount(), phases.create, phases.connect, phases.markup, phases.display);
        printLine(timing);
        if (command.trace) showTrace(addIn.displayTrace(), 0);
        if (!addIn.controls().empty()) {
            printLine(L"---- " + addIn.progId() + L": the group as the ribbon shows it ----");
            for (const ShownControl& control : addIn.controls()) showControl(control);
        }
    }

    if (!command.actions.empty() || command.window) {
        printLine(L"---- before: the driver's one-shot values ----");
        showDriverKey();
        printLine(L"---- before: what the host was asked ----");
        showHostCalls(session);
    }
    if (!command.actions.empty()) {
        printLine(L"---- the user ----");
        for (const UserAction& action : command.actions) perform(session, action);
    }
    if (!command.aboutSignal.empty()) {
        // The launcher of the first group that has one.
        for (const HostSession::ListedAddIn& listed : session.addIns()) {
            if (!listed.session) continue;
            for (const ShownControl& control : listed.session->controls()) {
                if (control.isLauncher()) {
                    perform(session, {UserAction::Kind::Press, control.markup.id});
                    break;
                }
            }
            break;
        }
    }
    if (command.window) hostsim::runGroupWindow(session, command.windowSignal, printLine);
    if (!command.actions.empty() || command.window) {
        printLine(L"---- after: the driver's one-shot values ----");
        showDriverKey();
        printLine(L"---- after: what the host was asked ----");
        showHostCalls(session);
    }

    if (command.reloads > 0) reload(session, command.reloads);

    printLine(L"==== " + std::wstring(command.host->title) + L" (" + bitness() + L") exits");
    const std::vector<size_t> traced = traceSizes(session);
    session.shutDown();
    showTraceSince(session, traced);
    const std::vector<Finding> findings = session.findings();
    bool referencesHeld = false;
    for (const Finding& finding : findings) referencesHeld |= finding.kind == Finding::Kind::ReferencesHeld;
    printLine(L"---- what Office would report ----");
    if (findings.empty()) printLine(L"  nothing");
    for (const Finding& finding : findings) printLine(L"  " + finding.text);
    printLine(referencesHeld
                  ? L"reference check: FAILED (see above)"
                  : L"reference check: the application, the COM add-in objects, the ribbon's object and "
                    L"every control object are back at their counts");
    return findings.empty() ? 0 : 1;
}

constexpr char kSynopsis[] =
    "usage: quillery-hostsim [--trace] [--disable-slow] [--window [<close signal>]] [--about <close signal>]\n"
    "           [--reload <cycles>] word|excel|powerpoint [--choose <id>=<index>] [--toggle <id>]\n"
    "           [--press <id>] ...\n";
constexpr char kDescription[] =
    "Starts Word, Excel or PowerPoint as Office does as far as add-ins go, shows the add-ins' ribbon\n"
    "groups and every call the host made, acts as the user (in order), and at exit checks that every\n"
    "object handed to the add-ins is back. The add-in must be registered first.\n"
    "  --trace   every callback of the group's display too\n"
    "  --disable-slow  an add-in that starts slowly goes on Office's Disabled Items list, as Office does\n"
    "  --window  the group in a window of real controls, until it is closed or the signal file exists\n"
    "  --about   presses the group's dialog launcher, and OK once the signal file exists\n"
    "  --reload  unticks the add-ins in the COM Add-ins dialog and ticks them on again, that many times,\n"
    "            after the user's actions, checking references, unloading and the group each time\n"
    "Exit code 0 when the host ran and found nothing, 1 when it found something, 2 for a wrong\n"
    "command line.\n";

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const win::CommandLine commandLine("quillery-hostsim", kSynopsis, kDescription,
                                       {{"--trace", 0},
                                        {"--disable-slow", 0},
                                        {"--window", 0},
                                        {"--about", 1},
                                        {"--reload", 1},
                                        {"--choose", 1},
                                        {"--toggle", 1},
                                        {"--press", 1}});
    if (const auto exitCode = commandLine.screen(argc, argv)) return *exitCode;
    Command command;
    if (!parse(argc, argv, command))
        return commandLine.refuse(
            "it needs one host (word, excel or powerpoint), and each action with its value");
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int result = run(command);
    ::CoUninitialize();
    return result;
}
