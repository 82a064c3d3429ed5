// The add-in's start-up cost as Office pays it, against a null add-in served by the same frame with the same
// interfaces and type library whose methods give fixed answers. Per host:
//  - warm: the whole start-up (create, connect, markup, onLoad, every callback of the group, disconnect,
//    release) of ours and of the null add-in, interleaved, many runs, minimum and median, ratio ours / null;
//  - cold: the first start-up in a fresh process (DLL load, type information, string file, markup file), the
//    fastest of three, once the host's own parts are up as in Office; and the private memory the add-in holds
//    once started;
//  - where the time goes: the median of each phase, the platform calls of a connection made alone, and the
//    display's callbacks one by one.
// It installs the product's fixtures, the maker's printer, both classes and the add-in keys itself, and
// removes them again.
//   quillery-startup-bench [<warm runs>]          (the child mode "--cold <host> <ProgID>" is its own)
#include <windows.h>
#include <objbase.h>
#include <winspool.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "markup/RibbonMarkup.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInSession.h"
#include "tools/hostsim/AddInLocation.h"
#include "tools/hostsim/AddInRegistration.h"
#include "tools/hostsim/PrivateMemory.h"
#include "tools/nulladdin/NullAddIn.h"
#include "win/EntryPoint.h"
#include "win/CommandLine.h"
#include "win/UniqueHandle.h"

namespace {

constexpr const wchar_t* kOurs = L"TandrelQuillery.Connect";

double now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// What one start-up measured: its whole time and its phases, in milliseconds, and with `timeCallbacks` the
// display's callbacks by name.
struct StartUp {
    double milliseconds = 0;
    hostsim::PhaseTimes phases;
    std::map<std::wstring, hostsim::CallbackTime> callbacks;
};

// One start-up of the add-in in the host, as the simulator runs it.
StartUp startUp(const hostsim::HostProfile& host, hostsim::OfficeDouble& office, const wchar_t* progId,
                SIZE_T* addedBytes = nullptr, bool timeCallbacks = false) {
    hostsim::AddInSession::Options options;
    options.trace = false;
    options.timeCallbacks = timeCallbacks;
    const SIZE_T before = addedBytes ? hostsim::committedPrivateBytes() : 0;
    StartUp measured;
    const double start = now();
    {
        hostsim::AddInSession session(host, office.application(), options);
        session.load(progId);
        if (addedBytes) *addedBytes = hostsim::committedPrivateBytes() - before;
        session.unload();
        if (!session.findings().empty())
            std::fprintf(stderr, "%ls: %ls\n", progId, session.findings().front().text.c_str());
        measured.phases = session.phaseTimes();
        measured.callbacks = session.callbackTimes();
    }
    measured.milliseconds = now() - start;
    return measured;
}

struct Figures {
    double minimum;
    double median;
};

Figures figuresOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

// The median of one quantity over many start-ups.
template <typename Quantity>
double medianOf(const std::vector<StartUp>& runs, Quantity quantity) {
    std::vector<double> values;
    for (const StartUp& run : runs) values.push_back(quantity(run));
    return figuresOf(values).median;
}

// Per phase, the median of ours and of the null add-in, in microseconds.
// With `platform` (microseconds), its median follows.
void printPhases(const wchar_t* hostName, const std::vector<StartUp>& ours, const std::vector<StartUp>& null,
                 const std::vector<double>& platform) {
    using Phase = double hostsim::PhaseTimes::*;
    const Phase phases[] = {&hostsim::PhaseTimes::create, &hostsim::PhaseTimes::connect,
                            &hostsim::PhaseTimes::markup, &hostsim::PhaseTimes::display,
                            &hostsim::PhaseTimes::exit};
    std::printf("%-11ls", hostName);
    for (Phase phase : phases) {
        const auto of = [phase](const StartUp& run) { return run.phases.*phase * 1000.0; };
        std::printf(" %6.0f / %-6.0f", medianOf(ours, of), medianOf(null, of));
    }
    if (!platform.empty()) std::printf(" %6.0f", figuresOf(platform).median);
    std::printf("\n");
}

// Per callback of the display, ours against the null add-in's, in microseconds per call, over `runs`
// start-ups.
void printCallbacks(const hostsim::HostProfile& host, hostsim::OfficeDouble& office, int runs) {
    std::map<std::wstring, hostsim::CallbackTime> ours, null;
    const auto add = [](std::map<std::wstring, hostsim::CallbackTime>& into, const StartUp& run) {
        for (const auto& [name, time] : run.callbacks) {
            into[name].calls += time.calls;
            into[name].milliseconds += time.milliseconds;
        }
    };
    for (int run = 0; run < runs; ++run) {
        add(ours, startUp(host, office, kOurs, nullptr, true));
        add(null, startUp(host, office, kNullProgId, nullptr, true));
    }
    std::printf("\nthe display's callbacks in %ls, microseconds per call (mean of %d start-ups)\n", host.name,
                runs);
    std::printf("%-34s %6s %10s %10s\n", "callback", "calls", "ours", "null");
    for (const auto& [name, time] : ours) {
        const hostsim::CallbackTime& other = null[name];
        std::printf("%-34ls %6d %10.1f %10.1f\n", name.c_str(), time.calls / runs,
                    time.milliseconds * 1000.0 / time.calls,
                    other.calls ? other.milliseconds * 1000.0 / other.calls : 0.0);
    }
}

// The spooler's entry points, found at run time: the cold start-up must see the library's first load, so
// nothing here imports it.
struct Spooler {
    template <typename Function>
    Function find(const char* name) const {
        return entryPointAs<Function>(module ? ::GetProcAddress(module, name) : nullptr);
    }
    HMODULE module = ::LoadLibraryW(L"winspool.drv");
    decltype(&::GetDefaultPrinterA) defaultPrinterA =
        find<decltype(&::GetDefaultPrinterA)>("GetDefaultPrinterA");
    decltype(&::GetDefaultPrinterW) defaultPrinterW =
        find<decltype(&::GetDefaultPrinterW)>("GetDefaultPrinterW");
    decltype(&::OpenPrinterA) openA = find<decltype(&::OpenPrinterA)>("OpenPrinterA");
    decltype(&::OpenPrinterW) openW = find<decltype(&::OpenPrinterW)>("OpenPrinterW");
    decltype(&::GetPrinterDataA) dataA = find<decltype(&::GetPrinterDataA)>("GetPrinterDataA");
    decltype(&::ClosePrinter) close = find<decltype(&::ClosePrinter)>("ClosePrinter");

    bool complete() const { return defaultPrinterA && defaultPrinterW && openA && openW && dataA && close; }
};

// The platform calls a connection of ours makes, alone and in its order: the default printer (asked for its
// size, then its name), its driver's friendly name, the four probes of the driver's key, and for each of the
// string file and the six markup files its path from the installation key and the file itself. Each registry
// read opens, queries and closes its key. Milliseconds.
double platformCallsOfConnect(const Spooler& spooler) {
    const double start = now();
    const auto readValue = [](HKEY root, const std::string& key, const char* name, char* data, DWORD size,
                              REGSAM view) {
        HKEY opened = nullptr;
        if (::RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) return;
        ::RegQueryValueExA(opened, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
        ::RegCloseKey(opened);
    };
    DWORD size = 0;
    spooler.defaultPrinterA(nullptr, &size);
    std::string name(size + 1, '\0');
    spooler.defaultPrinterA(&name[0], &size);
    char friendly[260] = {};
    HANDLE printer = nullptr;
    if (spooler.openA(&name[0], &printer, nullptr)) {
        DWORD needed = 0;
        spooler.dataA(printer, const_cast<char*>("OriginalFriendlyName"), nullptr,
                      reinterpret_cast<BYTE*>(friendly), sizeof friendly, &needed);
        spooler.close(printer);
    }
    const std::string driverKey = fixtures::PrinterFixture::kSettingsRoot + std::string(friendly);
    for (const char* probe :
         {fixtures::PrinterFixture::kOnceBlackAndWhite, fixtures::PrinterFixture::kOnceDuplex,
          fixtures::PrinterFixture::kOnceNUp, fixtures::PrinterFixture::kOncePrintQuality}) {
        char data[4];
        readValue(HKEY_LOCAL_MACHINE, driverKey, probe, data, sizeof data,
                  fixtures::PrinterFixture::kDriverView);
    }
    for (const fixtures::InstallationFixture::File& file : fixtures::InstallationFixture::files()) {
        char path[260] = {};
        readValue(HKEY_LOCAL_MACHINE, fixtures::InstallationFixture::kKeyPath, file.valueName, path,
                  sizeof path, 0);
        const HANDLE opened = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (opened == INVALID_HANDLE_VALUE) continue;
        std::vector<char> bytes(::GetFileSize(opened, nullptr));
        DWORD read = 0;
        ::ReadFile(opened, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
        ::CloseHandle(opened);
    }
    return now() - start;
}

// What Office has up before it loads any add-in, so that a cold start-up counts only the add-in's own first
// costs: its markup reader, and the spooler, which it has asked for the default printer to lay pages out for.
// Returns the milliseconds the spooler's load and first use took; the library stays loaded.
double startOfficesOwnParts() {
    markup::readMarkup(L"<customUI/>");
    const double start = now();
    const Spooler spooler;
    DWORD size = 0;
    if (spooler.complete()) spooler.defaultPrinterW(nullptr, &size);
    std::wstring name(size, L'\0');
    HANDLE printer = nullptr;
    if (size && spooler.defaultPrinterW(&name[0], &size) && spooler.openW(&name[0], &printer, nullptr))
        spooler.close(printer);
    return now() - start;
}

// The first start-up in this fresh process; prints "<ms> <added bytes> <ms of each phase> <ms of the
// spooler's first use>".
int coldChild(const std::wstring& hostName, const std::wstring& progId) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const hostsim::HostProfile* host = hostsim::hostNamed(hostName);
    if (!host) return 2;
    const double spooler = startOfficesOwnParts();
    hostsim::OfficeDouble office(host->host);
    SIZE_T added = 0;
    const StartUp cold = startUp(*host, office, progId.c_str(), &added);
    const hostsim::PhaseTimes& phases = cold.phases;
    std::printf("%.3f %zu %.3f %.3f %.3f %.3f %.3f %.3f\n", cold.milliseconds, static_cast<size_t>(added),
                phases.create, phases.connect, phases.markup, phases.display, phases.exit, spooler);
    ::CoUninitialize();
    return 0;
}

// One cold start-up in a fresh process: the start-up, the private memory it added and the milliseconds of the
// host's spooler set-up before it.
struct Cold {
    StartUp run;
    size_t added = 0;
    double spooler = 0;
};

bool runCold(const std::wstring& host, const wchar_t* progId, Cold& result) {
    StartUp& cold = result.run;
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(program) + L"\" --cold " + host + L" " + progId;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return false;
    win::UniqueHandle reading(readEnd), writing(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process))
        return false;
    writing.reset();
    std::string output;
    char buffer[256];
    DWORD read = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read) output.append(buffer, read);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    hostsim::PhaseTimes& phases = cold.phases;
    return std::sscanf(output.c_str(), "%lf %zu %lf %lf %lf %lf %lf %lf", &cold.milliseconds, &result.added,
                       &phases.create, &phases.connect, &phases.markup, &phases.display, &phases.exit,
                       &result.spooler) == 8;
}

// The fastest of a few cold start-ups: a single one may meet the other processes of the machine.
Cold fastestCold(const std::wstring& host, const wchar_t* progId) {
    Cold fastest;
    for (int attempt = 0; attempt < 3; ++attempt) {
        Cold cold;
        if (runCold(host, progId, cold) &&
            (fastest.run.milliseconds == 0 || cold.run.milliseconds < fastest.run.milliseconds))
            fastest = cold;
    }
    return fastest;
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const win::CommandLine commandLine(
        "quillery-startup-bench", "usage: quillery-startup-bench [<warm runs>]\n",
        "Measures the add-in's start-up in Word, Excel and PowerPoint against a null add-in: warm runs (200\n"
        "unless told, 5 at least) interleaved in this process, cold start-ups in fresh processes, and where\n"
        "the time goes. It installs the fixtures, the printer, both classes and the add-in keys itself, and\n"
        "removes them again.\n",
        {{"--cold", 2}});
    if (const auto exitCode = commandLine.screen(argc, argv)) return *exitCode;
    if (argc == 4 && std::wstring(argv[1]) == L"--cold") return coldChild(argv[2], argv[3]);
    wchar_t* end = nullptr;
    const long asked = argc == 2 ? std::wcstol(argv[1], &end, 10) : 200;
    if (argc > 2 || (end && (end == argv[1] || *end != L'\0')))
        return commandLine.refuse("it takes at most one count of warm runs");
    const int runs = static_cast<int>(std::max(5L, std::min(asked, 1000000L)));

    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
        const fixtures::InstallationFixture installation;
        const fixtures::PrinterFixture printer;
        if (FAILED(hostsim::registerAddInBesideProgram())) {
            std::fprintf(stderr, "quillery-startup-bench: could not register the add-in\n");
            return 1;
        }
        // The null add-in's class, beside this program.
        wchar_t classText[40] = {};
        ::StringFromGUID2(CLSID_NullConnect, classText, 40);
        std::wstring dll = hostsim::addInBesideProgram();
        dll.replace(dll.size() - std::wstring(L"Quillery.dll").size(), std::wstring::npos,
                    L"QuilleryNull.dll");
        const std::string classKey = "Software\\Classes\\CLSID\\" + narrow(classText);
        const fixtures::CreatedKey nullClass(HKEY_LOCAL_MACHINE, classKey + "\\InprocServer32");
        const fixtures::CreatedKey nullProgId(HKEY_LOCAL_MACHINE,
                                              "Software\\Classes\\" + narrow(kNullProgId) + "\\CLSID");
        fixtures::setString(HKEY_LOCAL_MACHINE, nullClass.path(), "", narrow(dll));
        fixtures::setString(HKEY_LOCAL_MACHINE, nullClass.path(), "ThreadingModel", "Apartment");
        fixtures::setString(HKEY_LOCAL_MACHINE, nullProgId.path(), "", narrow(classText));

        std::printf(
            "start-up of the %d-bit add-in against the %d-bit null add-in, %d warm runs each, interleaved\n",
            static_cast<int>(sizeof(void*) * 8), static_cast<int>(sizeof(void*) * 8), runs);
        std::printf("%-11s %10s %10s %10s %10s %7s %7s %10s %10s %10s %10s\n", "host", "ours min", "ours med",
                    "null min", "null med", "ratio", "(min)", "ours cold", "null cold", "ours adds",
                    "spooler");
        std::map<std::wstring, std::vector<StartUp>> oursRuns, nullRuns;
        std::map<std::wstring, StartUp> oursColdRuns, nullColdRuns;
        std::map<std::wstring, std::vector<double>> platformRuns;  // microseconds
        const Spooler spooler;
        for (const hostsim::HostProfile& host : hostsim::hostProfiles()) {
            const Cold oursCold = fastestCold(host.name, kOurs);
            const Cold nullCold = fastestCold(host.name, kNullProgId);
            oursColdRuns[host.name] = oursCold.run;
            nullColdRuns[host.name] = nullCold.run;

            hostsim::OfficeDouble office(host.host);
            startUp(host, office, kOurs);  // the first of each loads its library and type information
            startUp(host, office, kNullProgId);
            std::vector<StartUp>& ours = oursRuns[host.name];
            std::vector<StartUp>& null = nullRuns[host.name];
            std::vector<double>& platform = platformRuns[host.name];
            for (int run = 0; run < runs; ++run) {
                ours.push_back(startUp(host, office, kOurs));
                null.push_back(startUp(host, office, kNullProgId));
                if (spooler.complete()) platform.push_back(platformCallsOfConnect(spooler) * 1000.0);
            }
            std::vector<double> oursTimes, nullTimes;
            for (const StartUp& run : ours) oursTimes.push_back(run.milliseconds);
            for (const StartUp& run : null) nullTimes.push_back(run.milliseconds);
            const Figures o = figuresOf(oursTimes), n = figuresOf(nullTimes);
            std::printf(
                "%-11ls %8.3fms %8.3fms %8.3fms %8.3fms %6.2fx %6.2fx %8.2fms %8.2fms %7.0f KB %8.2fms\n",
                host.name, o.minimum, o.median, n.minimum, n.median, o.median / n.median,
                o.minimum / n.minimum, oursCold.run.milliseconds, nullCold.run.milliseconds,
                static_cast<double>(oursCold.added) / 1024.0, oursCold.spooler);
            std::fflush(stdout);
        }
        std::printf("\nwhere the warm time goes, median microseconds per phase, ours / null\n");
        std::printf(
            "(\"platform\": the platform calls a connection of ours makes, made alone in its order)\n");
        std::printf("%-11s %-15s %-15s %-15s %-15s %-15s %s\n", "host", " create", " connect", " markup",
                    " display", " exit", "platform");
        for (const hostsim::HostProfile& host : hostsim::hostProfiles())
            printPhases(host.name, oursRuns[host.name], nullRuns[host.name], platformRuns[host.name]);
        std::printf("\nwhere the cold time goes, microseconds per phase, ours / null\n");
        for (const hostsim::HostProfile& host : hostsim::hostProfiles())
            printPhases(host.name, {oursColdRuns[host.name]}, {nullColdRuns[host.name]}, {});
        const hostsim::HostProfile& word = hostsim::hostProfiles().front();
        hostsim::OfficeDouble office(word.host);
        printCallbacks(word, office, std::max(5, runs / 10));
    }
    ::CoUninitialize();
    return 0;
}
