#include "tests/installer/DoctorRun.h"

#include <objbase.h>

#include <cctype>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/com/OtherBitness.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInRegistration.h"
#include "win/UniqueHandle.h"

namespace {

constexpr const char* kHosts[] = {"Word", "Excel", "PowerPoint"};
constexpr wchar_t kTestFolder[] = L"\\Corvane Quillery Test";

// The same user's token without its administrator's rights, as Windows links the two at logon.
win::UniqueHandle limitedToken() {
    HANDLE own = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &own)) return win::UniqueHandle();
    const win::UniqueHandle ownToken(own);
    TOKEN_LINKED_TOKEN linked{};
    DWORD size = 0;
    if (!::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size)) return win::UniqueHandle();
    const win::UniqueHandle linkedToken(linked.LinkedToken);
    HANDLE primary = nullptr;
    ::DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                       &primary);
    return win::UniqueHandle(primary);
}

// A temporary file that the child writes one of its outputs to.
struct OutputFile {
    std::wstring path;
    win::UniqueHandle handle;

    OutputFile() {
        wchar_t folder[MAX_PATH] = {}, file[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        ::GetTempFileNameW(folder, L"qdt", 0, file);
        path = file;
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        handle.reset(::CreateFileW(file, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr));
    }
    ~OutputFile() { ::DeleteFileW(path.c_str()); }

    std::string read() {
        handle.reset();
        std::string text;
        win::UniqueHandle input(
            ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        char buffer[4096];
        DWORD read = 0;
        while (input && ::ReadFile(input.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
            text.append(buffer, read);
        return text;
    }
};

const nlohmann::json* lineOf(const nlohmann::json& report, const std::string& name) {
    if (!report.is_object() || !report.contains("links")) return nullptr;
    for (const nlohmann::json& line : report["links"]) {
        if (line.value("link", "") == name) return &line;
    }
    return nullptr;
}

// Every report the tests see is kept in <build>/doctor-reports, where installer_report_schema_test checks
// each against the schema the packages install beside the doctor: a report only a test provokes counts too.
void keepReport(const std::string& report) {
    static unsigned sequence = 0;
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = test ? std::string(test->test_suite_name()) + "." + test->name() : "outside";
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.') c = '_';
    }
    const std::wstring folder = besideProgram(L"..\\doctor-reports");
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::string file = ascii(folder) + "\\" + std::to_string(++sequence) + "-" + name + ".json";
    std::ofstream(file, std::ios::binary) << report;
    EXPECT_TRUE(std::ifstream(file).good()) << "could not keep the report in " << file;
}

}  // namespace

TrustedBuildRoot::TrustedBuildRoot() {
#ifdef QUILLERY_TEST_ROOT_DER
    // Wine's Z: is the Unix root.
    root = std::make_unique<MachineCertificate>(L"Root", readFileBytes(L"Z:" QUILLERY_TEST_ROOT_DER));
    EXPECT_TRUE(root->added()) << "the build's test root could not be trusted";
#endif
}

std::string DoctorRun::link(const std::string& name) const {
    const nlohmann::json* line = lineOf(report, name);
    return line ? line->value("status", "") + ": " + line->value("found", "") : std::string();
}

bool DoctorRun::wordShows() const {
    return report.is_object() && report["hosts"].value("word", false);
}

size_t DoctorRun::changesDone() const {
    size_t done = 0;
    if (report.is_object() && report.contains("repair")) {
        for (const nlohmann::json& change : report["repair"]["changes"]) done += change.value("done", false);
    }
    return done;
}

DoctorRun runDoctor(const std::wstring& arguments, Rights rights, const std::wstring& folder) {
    DoctorRun run;
    OutputFile output, errors;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.handle.get();
    startup.hStdError = errors.handle.get();
    PROCESS_INFORMATION process{};
    const std::wstring program = besideProgram(L"quillery-doctor.exe");
    std::wstring command = L"\"" + program + L"\" " + arguments;
    const wchar_t* directory = folder.empty() ? nullptr : folder.c_str();
    const win::UniqueHandle token = rights == Rights::Limited ? limitedToken() : win::UniqueHandle();
    const BOOL started =
        rights == Rights::Limited
            ? ::CreateProcessAsUserW(token.get(), program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                     directory, &startup, &process)
            : ::CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, directory,
                               &startup, &process);
    EXPECT_TRUE(started) << "could not start the doctor (" << ::GetLastError() << ")";
    if (!started) return run;
    win::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    run.output = output.read();
    run.errors = errors.read();
    if (arguments.find(L"--json") != std::wstring::npos && !run.output.empty()) {
        try {
            run.report = nlohmann::json::parse(run.output);
            keepReport(run.output);
        } catch (const nlohmann::json::exception& error) {
            ADD_FAILURE() << "the report is not valid JSON: " << error.what() << "\n" << run.output;
        }
    }
    return run;
}

void expectLink(const DoctorRun& run, const std::string& link, const std::string& expected) {
    const std::string seen = run.link(link);
    const size_t elided = expected.find("...");
    if (elided == std::string::npos) {
        EXPECT_EQ(expected, seen.substr(0, expected.size())) << link << " in " << run.output;
    } else {
        EXPECT_EQ(expected.substr(0, elided), seen.substr(0, elided)) << link << " in " << run.output;
        EXPECT_NE(std::string::npos, seen.find(expected.substr(elided + 3))) << link << ": " << seen;
    }
}

std::wstring besideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    std::wstring result(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    return result.substr(0, result.find_last_of(L"\\/") + 1) + name;
}

std::string ascii(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

OfficeAddInKeys::OfficeAddInKeys() {
    for (const char* host : kHosts) {
        const std::string path = std::string("Software\\Microsoft\\Office\\") + host + "\\Addins\\TandrelQuillery.Connect";
        keys_.push_back(std::make_unique<fixtures::CreatedKey>(HKEY_LOCAL_MACHINE, path));
        fixtures::setDword(HKEY_LOCAL_MACHINE, path, "LoadBehavior", 3);
    }
}

std::wstring programFiles(Bits bits) {
    const bool sixtyFour = (sizeof(void*) == 8) == (bits == Bits::This);
    const std::string name = sixtyFour ? "ProgramFilesDir" : "ProgramFilesDir (x86)";
    const auto folder = fixtures::stringOf(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion",
                                           name, KEY_WOW64_64KEY);
    return folder ? std::wstring(folder->begin(), folder->end()) : std::wstring();
}

InstalledAddIn::InstalledAddIn(Bits bits)
    : bits_(bits),
      office_(bits == Bits::This ? fixtures::ownView() : fixtures::otherView()),
      folder_(programFiles(bits) + kTestFolder) {
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    const bool ours = bits == Bits::This;
    for (const wchar_t* file : {L"Quillery.dll", L"quillery-doctor.exe"}) {
        const std::wstring from = ours ? besideProgram(file) : peerFile(file);
        if (!::CopyFileW(from.c_str(), (folder_ + L"\\" + file).c_str(), FALSE)) return;
    }
    registered_ = ours ? hostsim::callAddInExport("DllRegisterServer", dll()) == S_OK
                       : regsvr32(L"/s " + quoted(dll()), IDYES, otherRegsvr32()).exitCode == 0;
}

InstalledAddIn::~InstalledAddIn() {
    if (bits_ == Bits::This) {
        MessageBoxAnswerer yes(IDYES);
        hostsim::callAddInExport("DllUnregisterServer", dll());
    } else {
        regsvr32(L"/u /s " + quoted(dll()), IDYES, otherRegsvr32());
    }
    // A library this process still holds cannot go; COM lets go of those it no longer needs first.
    ::CoFreeUnusedLibrariesEx(0, 0);
    for (const wchar_t* file : {L"Quillery.dll", L"quillery-doctor.exe"}) ::DeleteFileW((folder_ + L"\\" + file).c_str());
    ::RemoveDirectoryW(folder_.c_str());
}

DWORD importRegistryFile(const std::wstring& file) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    std::wstring command = L"regedit.exe /s \"" + file + L"\"";
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return ::GetLastError();
    win::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    ::GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode;
}

OtherAddIn::OtherAddIn(const fixtures::InstallationFixture& installation)
    : installationKey_(HKEY_LOCAL_MACHINE, fixtures::InstallationFixture::kKeyPath, fixtures::otherView()),
      addIn_((
          [&] {
              for (const fixtures::InstallationFixture::File& file : fixtures::InstallationFixture::files())
                  fixtures::setString(HKEY_LOCAL_MACHINE, fixtures::InstallationFixture::kKeyPath, file.valueName,
                                      installation.filePathOf(file.valueName), fixtures::otherView());
          }(),
          Bits::Other)) {}

InstalledOffice::InstalledOffice(const OfficeSign& office) {
    const bool ours = office.bits == Bits::This;
    const bool sixtyFour = (sizeof(void*) == 8) == ours;
    const REGSAM view = ours ? fixtures::ownView() : fixtures::otherView();
    std::string path, name, text;
    switch (office.sign) {
        case Sign::ClickToRun:
            // The Click-to-Run service keeps its configuration in the 64-bit view, whatever Office's bitness.
            path = "Software\\Microsoft\\Office\\ClickToRun\\Configuration";
            name = "Platform";
            text = sixtyFour ? "x64" : "x86";
            break;
        case Sign::Outlook:
            path = "Software\\Microsoft\\Office\\16.0\\Outlook";
            name = "Bitness";
            text = sixtyFour ? "x64" : "x86";
            break;
        case Sign::ItsWord:
            // Any program of that bitness stands in for WINWORD.EXE: only its header is read.
            path = "Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WINWORD.EXE";
            text = ascii(ours ? besideProgram(L"quillery-doctor.exe") : peerFile(L"quillery-doctor.exe"));
            break;
    }
    const REGSAM where = office.sign == Sign::ClickToRun ? KEY_WOW64_64KEY : view;
    key_ = std::make_unique<fixtures::CreatedKey>(HKEY_LOCAL_MACHINE, path, where);
    fixtures::setString(HKEY_LOCAL_MACHINE, path, name, text, where);
}
