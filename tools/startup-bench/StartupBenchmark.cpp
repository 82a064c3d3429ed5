// The add-in's start-up cost as Office pays it, against a null add-in served by the same frame with the same
// interfaces and type library whose methods give fixed answers. Per host:
//  - warm: the whole start-up (create, connect, markup, onLoad, every callback of the group, disconnect,
//    release) of ours and of the null add-in, interleaved, many runs, minimum and median, ratio ours / null;
//  - cold: the first start-up in a fresh process (DLL load, type information, string file, markup file), and
//    the private memory the add-in holds once started.
// It installs the product's fixtures, the maker's printer, both classes and the add-in keys itself, and
// removes them again.
//   quillery-startup-bench [<warm runs>]          (the child mode "--cold <host> <ProgID>" is its own)
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInSession.h"
#include "tools/hostsim/AddInLocation.h"
#include "tools/hostsim/AddInRegistration.h"
#include "tools/hostsim/PrivateMemory.h"
#include "tools/nulladdin/NullAddIn.h"
#include "win/UniqueHandle.h"

namespace {

constexpr const wchar_t* kOurs = L"TandrelQuillery.Connect";

double now() {
    LARGE_INTEGER counter, frequency;
    ::QueryPerformanceCounter(&counter);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

// One start-up of the add-in in the host, as the simulator runs it; its time in milliseconds.
double startUp(const hostsim::HostProfile& host, hostsim::OfficeDouble& office, const wchar_t* progId,
               SIZE_T* addedBytes = nullptr) {
    hostsim::AddInSession::Options options;
    options.trace = false;
    const SIZE_T before = addedBytes ? hostsim::committedPrivateBytes() : 0;
    const double start = now();
    {
        hostsim::AddInSession session(host, office.application(), options);
        session.load(progId);
        if (addedBytes) *addedBytes = hostsim::committedPrivateBytes() - before;
        session.unload();
        if (!session.findings().empty())
            std::fprintf(stderr, "%ls: %ls\n", progId, session.findings().front().text.c_str());
    }
    return now() - start;
}

struct Figures {
    double minimum;
    double median;
};

Figures figuresOf(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times.front(), times[times.size() / 2]};
}

// The first start-up in this fresh process; prints "<ms> <added bytes>".
int coldChild(const std::wstring& hostName, const std::wstring& progId) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const hostsim::HostProfile* host = hostsim::hostNamed(hostName);
    if (!host) return 2;
    hostsim::OfficeDouble office(host->host);
    SIZE_T added = 0;
    const double milliseconds = startUp(*host, office, progId.c_str(), &added);
    std::printf("%.3f %zu\n", milliseconds, static_cast<size_t>(added));
    ::CoUninitialize();
    return 0;
}

bool runCold(const std::wstring& host, const wchar_t* progId, double& milliseconds, size_t& added) {
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
    return std::sscanf(output.c_str(), "%lf %zu", &milliseconds, &added) == 2;
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == L"--cold") return coldChild(argv[2], argv[3]);
    const int runs = argc > 1 ? std::max(5, _wtoi(argv[1])) : 200;

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

        std::printf("start-up of the add-in against the null add-in, %d warm runs each, interleaved\n", runs);
        std::printf("%-11s %10s %10s %10s %10s %7s %7s %10s %10s %10s\n", "host", "ours min", "ours med",
                    "null min", "null med", "ratio", "(min)", "ours cold", "null cold", "ours adds");
        for (const hostsim::HostProfile& host : hostsim::hostProfiles()) {
            double oursCold = 0, nullCold = 0;
            size_t oursAdded = 0, nullAdded = 0;
            runCold(host.name, kOurs, oursCold, oursAdded);
            runCold(host.name, kNullProgId, nullCold, nullAdded);

            hostsim::OfficeDouble office(host.host);
            startUp(host, office, kOurs);  // the first of each loads its library and type information
            startUp(host, office, kNullProgId);
            std::vector<double> ours, null;
            for (int run = 0; run < runs; ++run) {
                ours.push_back(startUp(host, office, kOurs));
                null.push_back(startUp(host, office, kNullProgId));
            }
            const Figures o = figuresOf(ours), n = figuresOf(null);
            std::printf("%-11ls %8.3fms %8.3fms %8.3fms %8.3fms %6.2fx %6.2fx %8.2fms %8.2fms %7.0f KB\n",
                        host.name, o.minimum, o.median, n.minimum, n.median, o.median / n.median,
                        o.minimum / n.minimum, oursCold, nullCold, static_cast<double>(oursAdded) / 1024.0);
            std::fflush(stdout);
        }
    }
    ::CoUninitialize();
    return 0;
}
