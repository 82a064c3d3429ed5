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
#include "tests/com/OtherBitness.h"
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
constexpr const char* kConnectClsid = "{A9F2F60F-41DD-495C-8BCE-03DC35A2850C}";
const std::string kConnectClass = std::string("Software\\Classes\\CLSID\\") + kConnectClsid;

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

// The report's line for `link` is `expected`: "status: " followed by the start of the finding, or any part of
// it after "...".
void expectLink(const DoctorRun& run, const std::string& link, const std::string& expected) {
    const std::string seen = run.link(link);
    const size_t elided = expected.find("...");
    if (elided == std::string::npos) {
        EXPECT_EQ(expected, seen.substr(0, expected.size())) << link << " in " << run.json;
    } else {
        EXPECT_EQ(expected.substr(0, elided), seen.substr(0, elided)) << link << " in " << run.json;
        EXPECT_NE(std::string::npos, seen.find(expected.substr(elided + 3))) << link << ": " << seen;
    }
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
         ::UnRegisterTypeLib(LIBID_TandrelLib, kTypeLibraryMajor, kTypeLibraryMinor, LANG_NEUTRAL,
                             sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
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
    expectLink(run, link.link, link.expected);
    EXPECT_EQ(link.exitCode, run.exitCode) << run.json;
    if (link.exitCode == 0) {
        EXPECT_EQ(std::string::npos, run.json.find("\"status\":\"broken\"")) << run.json;
    }
}

INSTANTIATE_TEST_SUITE_P(Doctor, DoctorLinks, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

// Office of either bitness on 64-bit Windows, and the add-ins registered for it. The rows speak of this
// build's bitness and of the other one, so that the 64-bit and the 32-bit build run the same table; the other
// build's DLL and doctor come from its bin folder and are registered with the registration tool of their
// bitness.
const std::string kThisBits = sizeof(void*) == 8 ? "64-bit" : "32-bit";
const std::string kOtherBits = sizeof(void*) == 8 ? "32-bit" : "64-bit";
const REGSAM kThisView = fixtures::ownView();
const REGSAM kOtherView = fixtures::otherView();

// How an installed Office shows its bitness, and which one.
enum class Sign { ClickToRun, Outlook, ItsWord };
enum class Bits { This, Other };
struct OfficeSign {
    Sign sign;
    Bits bits;
};

// Writes one sign of an installed Office for as long as it lives.
class InstalledOffice {
public:
    explicit InstalledOffice(const OfficeSign& office) {
        const bool ours = office.bits == Bits::This;
        const bool sixtyFour = (sizeof(void*) == 8) == ours;
        const REGSAM view = ours ? kThisView : kOtherView;
        switch (office.sign) {
            case Sign::ClickToRun:
                // The Click-to-Run service keeps its configuration in the 64-bit view, whatever Office's
                // bitness.
                write("Software\\Microsoft\\Office\\ClickToRun\\Configuration", "Platform",
                      sixtyFour ? "x64" : "x86", KEY_WOW64_64KEY);
                break;
            case Sign::Outlook:
                write("Software\\Microsoft\\Office\\16.0\\Outlook", "Bitness", sixtyFour ? "x64" : "x86",
                      view);
                break;
            case Sign::ItsWord: {
                // Any program of that bitness stands in for WINWORD.EXE: only its header is read.
                const std::wstring word =
                    ours ? besideProgram(L"quillery-doctor.exe") : peerFile(L"quillery-doctor.exe");
                write("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\WINWORD.EXE", "",
                      std::string(word.begin(), word.end()), view);
                break;
            }
        }
    }

private:
    std::unique_ptr<fixtures::CreatedKey> key_;

    void write(const std::string& path, const std::string& name, const std::string& text, REGSAM view) {
        key_ = std::make_unique<fixtures::CreatedKey>(HKEY_LOCAL_MACHINE, path, view);
        fixtures::setString(HKEY_LOCAL_MACHINE, path, name, text, view);
    }
};

// The add-in of the other bitness registered by its own registration tool, as its package does, with the
// installation key in its view; removed again the same way, its question answered Yes.
class OtherAddIn {
public:
    explicit OtherAddIn(const InstallationFixture& installation)
        : office_(kOtherView),
          installationKey_(HKEY_LOCAL_MACHINE, InstallationFixture::kKeyPath, kOtherView),
          dll_(peerFile(L"Quillery.dll")) {
        for (const InstallationFixture::File& file : InstallationFixture::files())
            fixtures::setString(HKEY_LOCAL_MACHINE, InstallationFixture::kKeyPath, file.valueName,
                                installation.filePathOf(file.valueName), kOtherView);
        registered_ = regsvr32(L"/s " + ::quoted(dll_), IDYES, otherRegsvr32()).exitCode == 0;
    }
    ~OtherAddIn() { regsvr32(L"/u /s " + ::quoted(dll_), IDYES, otherRegsvr32()); }
    OtherAddIn(const OtherAddIn&) = delete;
    OtherAddIn& operator=(const OtherAddIn&) = delete;
    bool ok() const { return registered_; }
    std::string dll() const { return std::string(dll_.begin(), dll_.end()); }

private:
    OfficeParentKeys office_;
    fixtures::CreatedKey installationKey_;
    std::wstring dll_;
    bool registered_ = false;
};

// Unregistered with the installation key in place, each add-in hands the package's removal to the next logon
// in its view; there is no package here to remove, so what they hand on goes when the row ends.
struct RemovalHandedOn {
    ~RemovalHandedOn() {
        for (REGSAM view : {kThisView, kOtherView})
            fixtures::deleteValue(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                                  kConnectClsid, view);
    }
};

// A class that names the add-in of the other bitness in place of its own.
enum class Crossed { No, OtherViewNamesThisDll, ThisViewNamesOtherDll };

struct MachineRow {
    const char* name;
    std::vector<OfficeSign> office;
    bool thisAddIn;
    bool otherAddIn;
    Crossed crossed;
    // Links and what the report must say there, "this"/"other" written as $this/$other ("64-bit" or "32-bit")
    // and $thisMachine/$otherMachine ("64-bit (x64)" or "32-bit (x86)").
    std::vector<std::pair<std::string, std::string>> says;
    DWORD exitCode;
};

std::string filledIn(std::string text) {
    const std::string thisMachine = kThisBits + (sizeof(void*) == 8 ? " (x64)" : " (x86)");
    const std::string otherMachine = kOtherBits + (sizeof(void*) == 8 ? " (x86)" : " (x64)");
    const std::pair<std::string, std::string> words[] = {{"$thisMachine", thisMachine},
                                                         {"$otherMachine", otherMachine},
                                                         {"$this", kThisBits},
                                                         {"$other", kOtherBits}};
    for (const auto& [word, meaning] : words) {
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at))
            text.replace(at, word.size(), meaning);
    }
    return text;
}

const MachineRow kMachines[] = {
    {"this bitness's Office (Click-to-Run), its add-in",
     {{Sign::ClickToRun, Bits::This}},
     true,
     false,
     Crossed::No,
     {{"office.bitness", "ok: $this Office (Click-to-Run Platform x"},
      {"addin.$this", "ok: ..., $thisMachine, is registered for $this Office"},
      {"ribbon.word", "ok: full markup"}},
     0},
    {"the other bitness's Office (Outlook), both add-ins",
     {{Sign::Outlook, Bits::Other}},
     true,
     true,
     Crossed::No,
     {{"office.bitness", "ok: $other Office (Outlook 16.0 Bitness x"},
      {"addin.$other",
       "ok: ..., $otherMachine, is registered for $other Office; the $other doctor beside it walks"},
      {"class.load", "ok: loaded; the connection object was created"},
      {"ribbon.word", "ok: full markup"}},
     0},
    {"the other bitness's Office (its Word), only this bitness's add-in",
     {{Sign::ItsWord, Bits::Other}},
     true,
     false,
     Crossed::No,
     {{"office.bitness", "ok: $other Office (WINWORD.EXE is $otherMachine"},
      {"addin.$other",
       "broken: $other Office finds no $other add-in: its registry view has no class for "
       "TandrelQuillery.Connect; only the $this add-in is registered"}},
     1},
    {"this bitness's Office (Outlook), only the other bitness's add-in",
     {{Sign::Outlook, Bits::This}},
     false,
     true,
     Crossed::No,
     {{"addin.$this", "broken: $this Office finds no $this add-in"},
      {"class.server", "broken: ...names no library"}},
     1},
    {"the other bitness's class names a DLL of this bitness",
     {{Sign::ClickToRun, Bits::Other}},
     true,
     true,
     Crossed::OtherViewNamesThisDll,
     {{"addin.$other",
       "broken: ..., registered for $other Office, is $thisMachine: $other Office loads only a $otherMachine "
       "add-in"}},
     1},
    {"no Office, both add-ins",
     {},
     true,
     true,
     Crossed::No,
     {{"office.bitness", "warning: no Office found"},
      {"addin.$this", "ok: ...is registered for $this Office"},
      {"addin.$other", "ok: ...is registered for $other Office"},
      {"ribbon.word", "ok: full markup"}},
     0},
    {"both Offices, both add-ins",
     {{Sign::ClickToRun, Bits::This}, {Sign::Outlook, Bits::Other}},
     true,
     true,
     Crossed::No,
     {{"office.bitness", "ok: ...: each is checked"},
      {"ribbon.word", "ok: full markup"},
      {"$other.class.load", "ok: loaded"},
      {"$other.ribbon.word", "ok: full markup"}},
     0},
    {"this bitness's class names the DLL of the other bitness",
     {{Sign::Outlook, Bits::This}},
     true,
     true,
     Crossed::ThisViewNamesOtherDll,
     {{"addin.$this",
       "broken: ..., registered for $this Office, is $otherMachine: $this Office loads only a $thisMachine "
       "add-in"},
      {"class.load", "broken: ...does not load: it is $otherMachine, and $this Office needs $thisMachine"}},
     1},
};

TEST(DoctorBitness, EachOfficeIsCheckedInItsOwnViewAndByAProcessOfItsBitness) {
    if (peerFile(L"Quillery.dll").empty())
        GTEST_SKIP() << "the build of the other bitness is not known (QUILLERY_PEER_BIN)";
    if (sizeof(void*) == 4 && !underWow64()) GTEST_SKIP() << "32-bit Windows has one registry view";
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::string connectServer = std::string(kConnectClass) + "\\InprocServer32";
    for (const MachineRow& row : kMachines) {
        SCOPED_TRACE(row.name);
        const RemovalHandedOn removal;
        InstallationFixture::Options installationOptions;
        installationOptions.values = {{"UnRegister", "MsiExec.exe /X{0}"},
                                      {"Remove", "MsiExec.exe /X{0} /qb"},
                                      {"Version", "1.41.0.0"}};
        const OfficeParentKeys office(kThisView);
        const InstallationFixture installation(installationOptions);
        const PrinterFixture printer;
        std::unique_ptr<RegisteredAddIn> thisAddIn;
        if (row.thisAddIn) {
            thisAddIn = std::make_unique<RegisteredAddIn>();
            EXPECT_TRUE(thisAddIn->ok());
        }
        std::unique_ptr<OtherAddIn> otherAddIn;
        if (row.otherAddIn) {
            otherAddIn = std::make_unique<OtherAddIn>(installation);
            EXPECT_TRUE(otherAddIn->ok());
        }
        const std::wstring thisDllWide = besideProgram(L"Quillery.dll");
        const std::string thisDll(thisDllWide.begin(), thisDllWide.end());
        if (row.crossed == Crossed::OtherViewNamesThisDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", thisDll, kOtherView);
        if (row.crossed == Crossed::ThisViewNamesOtherDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", otherAddIn->dll(), kThisView);
        std::vector<std::unique_ptr<InstalledOffice>> offices;
        for (const OfficeSign& sign : row.office) offices.push_back(std::make_unique<InstalledOffice>(sign));

        const DoctorRun run = runDoctor();
        for (const auto& [link, says] : row.says) expectLink(run, filledIn(link), filledIn(says));
        EXPECT_EQ(row.exitCode, run.exitCode) << run.json;

        // Each add-in's unregistration removes its class only while the class names it.
        if (row.crossed == Crossed::OtherViewNamesThisDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", otherAddIn->dll(), kOtherView);
        if (row.crossed == Crossed::ThisViewNamesOtherDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", thisDll, kThisView);
    }
    ::CoUninitialize();
}

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
