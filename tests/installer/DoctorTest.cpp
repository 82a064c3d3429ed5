// The doctor, run as a fleet tool runs it (quillery-doctor --json beside this program), on a healthy
// installation and with each link of the chain broken in turn.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "tests/support/OfficeMachineState.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/FixtureData.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tests/com/AddInEnvironment.h"
#include "tools/hostsim/DisabledItemRecord.h"
#include "tools/hostsim/HostSession.h"
#include "win/UniqueHandle.h"

namespace {

using fixtures::InstallationFixture;
using fixtures::PrinterFixture;

constexpr const char* kHosts[] = {"Word", "Excel", "PowerPoint"};
constexpr const char* kConnectClass = "Software\\Classes\\CLSID\\{A9F2F60F-41DD-495C-8BCE-03DC35A2850C}";

std::string addInKey(const char* host) {
    return std::string("Software\\Microsoft\\Office\\") + host + "\\Addins\\TandrelQuillery.Connect";
}

// What registration makes known to Office: each host's add-in key, loading at start-up.
class OfficeAddInKeys {
public:
    OfficeAddInKeys() {
        for (const char* host : kHosts) {
            keys_.push_back(std::make_unique<fixtures::CreatedKey>(HKEY_LOCAL_MACHINE, addInKey(host)));
            fixtures::setDword(HKEY_LOCAL_MACHINE, addInKey(host), "LoadBehavior", 3);
        }
    }

private:
    std::vector<std::unique_ptr<fixtures::CreatedKey>> keys_;
};

struct DoctorRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string json;

    // The status and the finding the report gives a link, as `status: found`; empty when it has no line.
    std::string link(const std::string& name) const {
        const std::string opening = "{\"link\":\"" + name + "\",\"status\":\"";
        const size_t at = json.find(opening);
        if (at == std::string::npos) return {};
        const size_t status = at + opening.size();
        const size_t statusEnd = json.find('"', status);
        const size_t found = json.find("\"found\":\"", statusEnd) + 9;
        return json.substr(status, statusEnd - status) + ": " +
               json.substr(found, json.find("\",\"fix\"", found) - found);
    }
};

std::wstring besideProgram(const wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    std::wstring result(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    return result.substr(0, result.find_last_of(L"\\/") + 1) + name;
}

DoctorRun runDoctor(const std::wstring& arguments = L"--json") {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE reading = nullptr, writing = nullptr;
    DoctorRun run;
    if (!::CreatePipe(&reading, &writing, &inherit, 0)) return run;
    win::UniqueHandle readEnd(reading), writeEnd(writing);
    ::SetHandleInformation(reading, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writing;
    startup.hStdError = writing;
    PROCESS_INFORMATION process{};
    std::wstring command = L"\"" + besideProgram(L"quillery-doctor.exe") + L"\" " + arguments;
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process))
        return run;
    win::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    writeEnd.reset();
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(reading, buffer, sizeof(buffer), &read, nullptr) && read > 0)
        run.json.append(buffer, read);
    ::WaitForSingleObject(process.hProcess, INFINITE);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    return run;
}

// One installation as the cases shape it: the options go to the fixtures, `breakIt` runs once all is in
// place.
struct Case {
    const char* name;
    std::function<void(InstallationFixture::Options&, PrinterFixture::Options&)> shape;
    std::function<void(const InstallationFixture&)> breakIt;
    const char* link;
    const char* expected;  // "status: " followed by the start of the finding, or any part of it after "..."
    DWORD exitCode;
};

void asInstalled(InstallationFixture::Options&, PrinterFixture::Options&) {}
void leaveIt(const InstallationFixture&) {}

const Case kCases[] = {
    {"Healthy", asInstalled, leaveIt, "ribbon.word",
     "ok: full markup; shows GroupQuilleryWordID, "
     "DropDownPrintQualityWordID, DropDownNUpWordID, CheckBoxDuplexWordID, CheckBoxBlackAndWhiteWordID",
     0},
    {"OfficeStoppedLoadingWord", asInstalled,
     [](const InstallationFixture&) {
         fixtures::setDword(HKEY_LOCAL_MACHINE, addInKey("Word"), "LoadBehavior", 2);
     },
     "office.word",
     "broken: HKLM\\\\Software\\\\Microsoft\\\\Office\\\\Word\\\\Addins\\\\TandrelQuillery.Connect: "
     "LoadBehavior 2 (not loaded",
     1},
    {"ExcelKeyMissing", asInstalled,
     [](const InstallationFixture&) { fixtures::deleteTree(HKEY_LOCAL_MACHINE, addInKey("Excel")); },
     "office.excel", "broken: no key", 1},
    {"ProgIdMissing", asInstalled,
     [](const InstallationFixture&) {
         fixtures::deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\TandrelQuillery.Connect");
     },
     "class.progid", "broken: HKCR\\\\TandrelQuillery.Connect\\\\CLSID is missing", 1},
    {"ServerFileGone", asInstalled,
     [](const InstallationFixture& installation) {
         fixtures::setString(HKEY_LOCAL_MACHINE, std::string(kConnectClass) + "\\InprocServer32", "",
                             installation.directory() + "\\Quillery.dll");
     },
     "class.server", "broken: ...is registered but not there", 1},
    {"ServerNotALibrary", asInstalled,
     [](const InstallationFixture& installation) {
         fixtures::setString(HKEY_LOCAL_MACHINE, std::string(kConnectClass) + "\\InprocServer32", "",
                             installation.filePathOf("XMLWordLarge"));
     },
     "class.load", "broken: ...does not load", 1},
    {"TypeLibraryNotRegistered", asInstalled,
     [](const InstallationFixture&) {
         ::UnRegisterTypeLib(LIBID_TandrelLib, kTypeLibraryMajor, kTypeLibraryMinor, LANG_NEUTRAL, SYS_WIN64);
     },
     "class.typelib", "broken: ...is not registered", 1},
    {"InstallationKeyMissing",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.machineKey = false;
     },
     leaveIt, "install.key", "broken: HKLM\\\\Software\\\\Corvane\\\\Toolbar_Office\\\\ is missing", 1},
    {"MarkupPathMissing",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.omittedValues.insert("XMLExcelLarge");
     },
     leaveIt, "markup.excel", "broken: no path recorded (the markup Excel gets now)", 1},
    {"MarkupEmpty",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.contents["XMLWordLarge"] = "";
     },
     leaveIt, "markup.word", "broken: ...word.xml is empty", 1},
    {"MarkupNotWellFormed",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.contents["XMLPowerPointLarge"] = "<customUI>\n  <ribbon>\n</customUI>\n";
     },
     leaveIt, "markup.powerpoint", "broken: ...is not well-formed XML", 1},
    {"StringFileNotUtf8",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.contents["XMLStrings"] =
             "<Strings>\n  <String Key=\"Lang\" Value=\"en\"/>\n  \xC3(\n</Strings>\n";
     },
     leaveIt, "strings.file", "warning: ...is not valid UTF-8 at line 3", 0},
    {"StringKeysMissing",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.contents["XMLStrings"] = "<String Key=\"Lang\" Value=\"en\"/>\n";
     },
     leaveIt, "strings.keys", "warning: 61 of 62 texts missing: LangAboutTitle,", 0},
    // This process runs in code page 1252, which holds German but not Japanese.
    {"StringFileFitsCodePage",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.contents["XMLStrings"] = fixtures::fixtureData("strings/de.xml");
     },
     leaveIt, "strings.codepage", "ok: all ...texts fit code page 1252", 0},
    {"StringFileNeedsOtherCodePage",
     [](InstallationFixture::Options& installation, PrinterFixture::Options&) {
         installation.contents["XMLStrings"] = fixtures::fixtureData("strings/ja.xml");
     },
     leaveIt, "strings.codepage",
     "warning: the string file's language (ja) needs code page 932; this machine's ANSI code page is 1252: "
     "...texts "
     "show with stand-ins",
     0},
    {"NoDefaultPrinter",
     [](InstallationFixture::Options&, PrinterFixture::Options& printer) {
         printer = PrinterFixture::noDefaultPrinter();
     },
     leaveIt, "printer.default", "broken: none", 1},
    {"OtherMake",
     [](InstallationFixture::Options&, PrinterFixture::Options& printer) {
         printer = PrinterFixture::otherMake();
     },
     leaveIt, "ribbon.word", "ok: generic markup; shows GroupQuilleryWordID, DropDownPagesPerSheetWordID", 0},
    {"DriverTakesDuplexOnly",
     [](InstallationFixture::Options&, PrinterFixture::Options& printer) {
         printer = PrinterFixture::makers({{PrinterFixture::kOnceDuplex, 0}});
     },
     leaveIt, "printer.driver-key", "ok: ...offers OnceDuplex", 0},
};

void PrintTo(const Case& link, std::ostream* out) {
    *out << link.name;
}

class DoctorLinks : public ::testing::TestWithParam<Case> {};

TEST_P(DoctorLinks, ReportsTheLinkAndTheVerdict) {
    const Case& link = GetParam();
    InstallationFixture::Options installationOptions;
    installationOptions.values = {
        {"UnRegister", "MsiExec.exe /X{0}"}, {"Remove", "MsiExec.exe /X{0} /qb"}, {"Version", "1.41.0.0"}};
    PrinterFixture::Options printerOptions;
    link.shape(installationOptions, printerOptions);

    RegisteredAddIn registration;
    ASSERT_TRUE(registration.ok());
    OfficeAddInKeys office;
    InstallationFixture installation(installationOptions);
    PrinterFixture printer(printerOptions);
    link.breakIt(installation);

    const DoctorRun run = runDoctor();
    const std::string seen = run.link(link.link);
    const std::string expected = link.expected;
    const size_t elided = expected.find("...");
    if (elided == std::string::npos) {
        EXPECT_EQ(expected, seen.substr(0, expected.size())) << run.json;
    } else {
        EXPECT_EQ(expected.substr(0, elided), seen.substr(0, elided)) << run.json;
        EXPECT_NE(std::string::npos, seen.find(expected.substr(elided + 3))) << seen;
    }
    EXPECT_EQ(link.exitCode, run.exitCode) << run.json;
    if (link.exitCode == 0) {
        EXPECT_EQ(std::string::npos, run.json.find("\"status\":\"broken\"")) << run.json;
    }
}

INSTANTIATE_TEST_SUITE_P(Doctor, DoctorLinks, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

// Office's own rules on the same machine, read twice: the doctor's verdict (another process, its own reading)
// and the host simulator's start-up (in this process) must agree on whether Word shows the group. Each row
// then runs --repair: the rows a user can repair come back, and importing the restore file brings the
// previous state back exactly; the others are left alone.
const std::string kUserAddIn = addInKey("Word");
const std::string kResiliency = "Software\\Microsoft\\Office\\16.0\\Word\\Resiliency";
const std::string kDisabledItems = kResiliency + "\\DisabledItems";
const std::string kPolicies = "Software\\Policies\\Microsoft\\Office\\16.0\\Word";
const std::string kManagedList = kPolicies + "\\Resiliency\\AddinList";
const std::string kPolicyResiliency = kPolicies + "\\Resiliency";
const std::string kPolicySecurity = kPolicies + "\\Security";
constexpr const char* kOurs = "TandrelQuillery.Connect";
constexpr const char* kOurRecord = "5C1E0A7B";

using machine_state::dword;
using machine_state::text;
using machine_state::Value;

Value disabledItem(const std::string& valueName, const std::wstring& path, const std::wstring& friendlyName) {
    return machine_state::disabledItem(kDisabledItems, valueName, path, friendlyName);
}

// A value as it is now: its type and bytes, or nothing.
std::optional<std::pair<DWORD, std::vector<BYTE>>> valueNow(const Value& value) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(value.root, value.path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    std::optional<std::pair<DWORD, std::vector<BYTE>>> now;
    if (::RegQueryValueExA(key, value.name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
        std::vector<BYTE> data(size);
        if (::RegQueryValueExA(key, value.name.c_str(), nullptr, &type, data.data(), &size) == ERROR_SUCCESS)
            now.emplace(type, data);
    }
    ::RegCloseKey(key);
    return now;
}

// The add-in DLL the row registers: the build's own (signed with its throwaway certificate), or a copy.
enum class Dll { Built, Altered, Unsigned };

// The copy beside the program, registered in place of the build's DLL for the row.
class DllCopy {
public:
    explicit DllCopy(Dll kind) {
        if (kind == Dll::Built) return;
        std::vector<BYTE> bytes = readAll(narrow(besideProgram(L"Quillery.dll")));
        if (bytes.size() < 0x200) return;
        const size_t pe = bytes[0x3C] | bytes[0x3D] << 8;
        if (kind == Dll::Altered) {
            bytes[0x4E] ^= 0x20;  // a letter of the DOS stub's message: hashed, never run
        } else {
            // The certificate table sits at the end of the file; its directory entry says where.
            const bool plus = (bytes[pe + 24] | bytes[pe + 25] << 8) == 0x20B;
            const size_t entry = pe + 24 + (plus ? 112 : 96) + 4 * 8;
            const size_t table = bytes[entry] | bytes[entry + 1] << 8 | bytes[entry + 2] << 16 |
                                 static_cast<size_t>(bytes[entry + 3]) << 24;
            if (table > 0 && table < bytes.size()) bytes.resize(table);
            std::fill(bytes.begin() + static_cast<long>(entry), bytes.begin() + static_cast<long>(entry) + 8,
                      0);
        }
        path_ =
            narrow(besideProgram(kind == Dll::Altered ? L"QuilleryAltered.dll" : L"QuilleryUnsigned.dll"));
        if (std::FILE* file = std::fopen(path_.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
        fixtures::setString(HKEY_LOCAL_MACHINE, std::string(kConnectClass) + "\\InprocServer32", "", path_);
    }
    ~DllCopy() {
        if (!path_.empty()) ::DeleteFileA(path_.c_str());
    }
    DllCopy(const DllCopy&) = delete;
    DllCopy& operator=(const DllCopy&) = delete;

private:
    std::string path_;

    static std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
    static std::vector<BYTE> readAll(const std::string& path) {
        std::vector<BYTE> bytes;
        if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
            BYTE buffer[65536];
            size_t read = 0;
            while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0)
                bytes.insert(bytes.end(), buffer, buffer + read);
            std::fclose(file);
        }
        return bytes;
    }
};

struct RuleRow {
    const char* name;
    std::vector<Value> state;
    Dll dll;
    bool shows;             // Word shows the group
    const char* rulesSay;   // words of the doctor's line on Word's rules
    const char* signature;  // words of its line on the DLL's signature, or empty
    size_t repairs;         // the changes --repair makes
};

std::vector<RuleRow> ruleRows() {
    const HKEY user = HKEY_CURRENT_USER, machine = HKEY_LOCAL_MACHINE;
    const std::wstring ours = besideProgram(L"Quillery.dll");
    const Value userDisabled = dword(user, kUserAddIn, "LoadBehavior", 2);
    const Value ourRecord = disabledItem(kOurRecord, ours, L"Quillery");
    const Value otherRecord = disabledItem("0F0F0F0F", L"C:\\Program Files\\Other\\Other.dll", L"Other");
    const Value requireSignature = dword(user, kPolicySecurity, "RequireAddinSig", 1);
    const char* nothing = "no policy and no Disabled Items record keeps it off";
    return {
        {"no rule applies",
         {},
         Dll::Built,
         true,
         nothing,
         "signed by \\\"Corvane Quillery Test Signing\\\"",
         0},
        {"the user's LoadBehavior 2", {userDisabled}, Dll::Built, false, nothing, "", 1},
        {"Disabled Items: our file and another's",
         {otherRecord, ourRecord},
         Dll::Built,
         false,
         "Disabled Items name it (value \\\"5C1E0A7B\\\"",
         "",
         1},
        {"Disabled Items: another file only", {otherRecord}, Dll::Built, true, nothing, "", 0},
        {"Disabled Items: records that do not parse",
         {{user, kDisabledItems, "short", REG_BINARY, {1, 0, 0, 0, 4}},
          text(user, kDisabledItems, "text", "not a record")},
         Dll::Built,
         true,
         "value \\\"short\\\": shorter than its 12-byte header (5 bytes); value \\\"text\\\": it is not "
         "binary",
         "",
         0},
        {"DoNotDisableAddinList names it",
         {dword(user, kResiliency + "\\DoNotDisableAddinList", kOurs, 1)},
         Dll::Built,
         true,
         "DoNotDisableAddinList keeps Word from disabling it",
         "",
         0},
        {"managed list 0",
         {text(user, kManagedList, kOurs, "0")},
         Dll::Built,
         false,
         "the administrators' list of managed add-ins always disables it",
         "",
         0},
        {"managed list 1, over the user's LoadBehavior 2 and Disabled Items",
         {text(user, kManagedList, kOurs, "1"), userDisabled, ourRecord},
         Dll::Built,
         true,
         "the administrators' list always enables it",
         "",
         2},
        {"managed list 2, the user's LoadBehavior 2",
         {text(user, kManagedList, kOurs, "2"), userDisabled},
         Dll::Built,
         false,
         nothing,
         "",
         1},
        {"RestrictToList, ours listed",
         {text(user, kManagedList, kOurs, "2"), dword(user, kPolicyResiliency, "RestrictToList", 1)},
         Dll::Built,
         true,
         nothing,
         "",
         0},
        {"RestrictToList, ours not listed",
         {text(user, kManagedList, "Other.Connect", "1"),
          dword(user, kPolicyResiliency, "RestrictToList", 1)},
         Dll::Built,
         false,
         "blocks add-ins not on the administrators' list, and it is not on it",
         "",
         0},
        {"RestrictToList: the machine's 1 over the user's 0",
         {dword(machine, kPolicyResiliency, "RestrictToList", 1),
          dword(user, kPolicyResiliency, "RestrictToList", 0)},
         Dll::Built,
         false,
         "policy RestrictToList = 1 (HKLM",
         "",
         0},
        {"DisableAllAddins: the machine's 0 over the user's 1",
         {dword(machine, kPolicySecurity, "DisableAllAddins", 0),
          dword(user, kPolicySecurity, "DisableAllAddins", 1)},
         Dll::Built,
         true,
         nothing,
         "",
         0},
        {"DisableAllAddins",
         {dword(user, kPolicySecurity, "DisableAllAddins", 1)},
         Dll::Built,
         false,
         "Word loads no add-in at all",
         "",
         0},
        // The build's throwaway certificate is no trusted publisher.
        {"RequireAddinSig, the build's DLL",
         {requireSignature},
         Dll::Built,
         false,
         "Test Signing\\\", who is not a trusted publisher; a message bar says it was disabled",
         "",
         0},
        {"RequireAddinSig without a message bar, a DLL changed after signing",
         {requireSignature, dword(user, kPolicySecurity, "NoTBPromptUnsignedAddin", 1)},
         Dll::Altered,
         false,
         "it was changed after it was signed; no message bar says so",
         "; does not verify (0x80096010)",
         0},
        {"RequireAddinSig, an unsigned DLL",
         {requireSignature},
         Dll::Unsigned,
         false,
         "and it is not signed",
         "QuilleryUnsigned.dll: not signed",
         0},
        {"an unsigned DLL without the signature policy", {}, Dll::Unsigned, true, nothing, "", 0},
    };
}

bool simulatorShowsWord() {
    hostsim::HostSession session(*hostsim::hostNamed(L"word"), {});
    session.start();
    const hostsim::AddInSession* ours = session.loaded(L"TandrelQuillery.Connect");
    const bool shows = ours != nullptr && !ours->controls().empty();
    session.shutDown();
    return shows;
}

bool doctorShowsWord(const DoctorRun& run) {
    return run.json.find("\"hosts\":{\"word\":true") != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

// Imports a registry file as a user would, with the platform's own editor.
DWORD import(const std::wstring& file) {
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

TEST(DoctorRules, TheDoctorsVerdictIsTheSimulatorsAndRepairBringsBackWhatTheUserMayRepair) {
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::vector<std::pair<HKEY, std::string>> watched = {
        {HKEY_CURRENT_USER, "Software\\Microsoft\\Office"},
        {HKEY_CURRENT_USER, "Software\\Policies\\Microsoft\\Office"},
        {HKEY_LOCAL_MACHINE, "Software\\Policies\\Microsoft\\Office"},
    };
    std::vector<bool> existedBefore;
    for (const auto& [root, path] : watched) existedBefore.push_back(fixtures::keyExists(root, path));
    wchar_t temporary[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temporary);
    const std::wstring restoreFile = std::wstring(temporary) + L"quillery-restore-test.reg";

    for (const RuleRow& row : ruleRows()) {
        SCOPED_TRACE(row.name);
        {
            // Made first, gone last: whatever the row, the doctor or the simulator leave below them.
            const fixtures::CreatedKey userOffice(HKEY_CURRENT_USER, watched[0].second);
            const fixtures::CreatedKey userPolicies(HKEY_CURRENT_USER, watched[1].second);
            const fixtures::CreatedKey machinePolicies(HKEY_LOCAL_MACHINE, watched[2].second);
            InstallationFixture::Options installationOptions;
            RegisteredAddIn registration;
            ASSERT_TRUE(registration.ok());
            OfficeAddInKeys office;
            const InstallationFixture installation(installationOptions);
            const PrinterFixture printer;
            const DllCopy copy(row.dll);
            for (const Value& value : row.state) {
                fixtures::CreatedKey(value.root, value.path).keep();
                fixtures::setValue(value.root, value.path, value.name, value.type, value.data.data(),
                                   static_cast<DWORD>(value.data.size()));
            }

            const bool simulatorShows = simulatorShowsWord();
            EXPECT_EQ(row.shows, simulatorShows);
            const DoctorRun before = runDoctor();
            EXPECT_EQ(simulatorShows, doctorShowsWord(before)) << before.json;
            EXPECT_NE(std::string::npos, before.link("rules.word").find(row.rulesSay))
                << before.link("rules.word");
            EXPECT_NE(std::string::npos, before.link("class.signature").find(row.signature))
                << before.link("class.signature");

            std::vector<std::optional<std::pair<DWORD, std::vector<BYTE>>>> previous;
            for (const Value& value : row.state) previous.push_back(valueNow(value));
            ::DeleteFileW(restoreFile.c_str());
            const DoctorRun repaired = runDoctor(L"--json --repair --restore-file \"" + restoreFile + L"\"");
            EXPECT_EQ(row.repairs, count(repaired.json, "\"done\":true")) << repaired.json;
            const bool restoreWritten = ::GetFileAttributesW(restoreFile.c_str()) != INVALID_FILE_ATTRIBUTES;
            EXPECT_EQ(row.repairs > 0, restoreWritten);
            // Whatever a user may not repair stays as it was: policies, and other add-ins' records.
            for (size_t index = 0; index < row.state.size(); ++index) {
                const Value& value = row.state[index];
                const bool ourFix = value.name == "LoadBehavior" || value.name == kOurRecord;
                if (!ourFix) {
                    EXPECT_EQ(previous[index], valueNow(value)) << value.path << "\\" << value.name;
                }
            }
            if (row.repairs > 0) {
                EXPECT_TRUE(simulatorShowsWord());
                EXPECT_TRUE(doctorShowsWord(repaired)) << repaired.json;
                EXPECT_NE(std::string::npos, repaired.json.find("quillery-restore-test.reg"))
                    << repaired.json;
                EXPECT_EQ(0u, import(restoreFile));
                for (size_t index = 0; index < row.state.size(); ++index)
                    EXPECT_EQ(previous[index], valueNow(row.state[index]))
                        << row.state[index].path << "\\" << row.state[index].name << " after the import";
                EXPECT_EQ(row.shows, simulatorShowsWord());
            }
            ::DeleteFileW(restoreFile.c_str());
        }
        for (size_t index = 0; index < watched.size(); ++index)
            EXPECT_EQ(existedBefore[index], fixtures::keyExists(watched[index].first, watched[index].second))
                << watched[index].second << " after the row";
    }
    ::CoUninitialize();
}

}  // namespace
