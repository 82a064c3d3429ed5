// The doctor, run as a fleet tool runs it (quillery-doctor --json beside this program), on a healthy
// installation and with each link of the chain broken in turn, and on machines with Office of either bitness.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "tests/com/OtherBitness.h"
#include "tests/installer/DoctorRun.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/FixtureData.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "doctor/Chain.h"
#include "tests/support/RegistryRecorder.h"

namespace {

using fixtures::InstallationFixture;
using fixtures::PrinterFixture;

constexpr const char* kConnectClsid = "{A9F2F60F-41DD-495C-8BCE-03DC35A2850C}";
const std::string kConnectClass = std::string("Software\\Classes\\CLSID\\") + kConnectClsid;

std::string addInKey(const char* host) {
    return std::string("Software\\Microsoft\\Office\\") + host + "\\Addins\\TandrelQuillery.Connect";
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
     "broken: HKLM\\Software\\Microsoft\\Office\\Word\\Addins\\TandrelQuillery.Connect: "
     "LoadBehavior 2 (not loaded",
     1},
    {"ExcelKeyMissing", asInstalled,
     [](const InstallationFixture&) { fixtures::deleteTree(HKEY_LOCAL_MACHINE, addInKey("Excel")); },
     "office.excel", "broken: no key", 1},
    {"ProgIdMissing", asInstalled,
     [](const InstallationFixture&) {
         fixtures::deleteTree(HKEY_LOCAL_MACHINE, "Software\\Classes\\TandrelQuillery.Connect");
     },
     "class.progid", "broken: HKLM\\Software\\Classes\\TandrelQuillery.Connect\\CLSID is missing", 1},
    {"ServerFileGone", asInstalled,
     [](const InstallationFixture& installation) {
         fixtures::setString(HKEY_LOCAL_MACHINE, std::string(kConnectClass) + "\\InprocServer32", "",
                             installation.directory() + "\\Quillery.dll");
     },
     "class.server", "broken: ...is registered but not there", 1},
    // The doctor may run elevated: it loads no library that users other than the administrators may change.
    {"ServerOutsideProgramFiles", asInstalled,
     [](const InstallationFixture& installation) {
         fixtures::setString(HKEY_LOCAL_MACHINE, std::string(kConnectClass) + "\\InprocServer32", "",
                             installation.filePathOf("XMLWordLarge"));
     },
     "class.load", "broken: ...accounts other than the administrators may change the file", 1},
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
     leaveIt, "install.key", "broken: HKLM\\Software\\Corvane\\Toolbar_Office\\ is missing", 1},
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

    InstalledAddIn registration;
    ASSERT_TRUE(registration.ok());
    OfficeAddInKeys office;
    InstallationFixture installation(installationOptions);
    PrinterFixture printer(printerOptions);
    link.breakIt(installation);

    const DoctorRun run = runDoctor();
    expectLink(run, link.link, link.expected);
    EXPECT_EQ(link.exitCode, run.exitCode) << run.output;
    if (link.exitCode == 0) {
        EXPECT_EQ(std::string::npos, run.output.find("\"status\":\"broken\"")) << run.output;
    }
}

INSTANTIATE_TEST_SUITE_P(Doctor, DoctorLinks, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

// Fleet tools keep one line of a script's output, 2,048 characters at most: it names what is broken.
TEST(DoctorSummary, OneLineNamesTheBrokenLink) {
    InstalledAddIn registration;
    ASSERT_TRUE(registration.ok());
    OfficeAddInKeys office;
    const InstallationFixture installation;
    const PrinterFixture printer;
    fixtures::setDword(HKEY_LOCAL_MACHINE, addInKey("Word"), "LoadBehavior", 2);
    const DoctorRun run = runDoctor(L"--summary");
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_LE(run.output.size(), 2048u);
    EXPECT_EQ(run.output.find('\n'), run.output.size() - 1) << run.output;
    EXPECT_EQ(0u, run.output.find("Quillery 1.41.0.0 BROKEN: the group shows in Excel, PowerPoint, not in Word.")) << run.output;
    EXPECT_NE(std::string::npos, run.output.find(" BROKEN office.word: HKLM\\Software\\Microsoft\\Office\\Word"))
        << run.output;
}

// Whether the user's choices reach the driver: its key opened as the add-in opens it at Print, refused as
// Windows refuses a user whom the key's security does not grant it (Wine keeps no security on keys).
TEST(DoctorDriverAccess, SaysWhetherTheUserMaySetTheOneShotValues) {
    const PrinterFixture printer;
    const struct {
        bool elevated;
        bool refused;
        const char* says;
    } rows[] = {
        {false, false, "ok: user may set the one-shot values in HKLM\\Software\\CorvaneInkJet"},
        {false, true, "warning: user may not set values in HKLM\\Software\\CorvaneInkJet"},
        {true, true, "warning: not judged: the doctor runs elevated"},
    };
    for (const auto& row : rows) {
        RegistryRecorder recorder;
        recorder.denyWrites = row.refused;
        doctor::Chain chain(recorder.api());
        doctor::Account account;
        account.name = "user";
        account.elevated = row.elevated;
        recorder.clear();
        doctor::checkDriverAccess(chain, account);
        ASSERT_FALSE(chain.report.findings.empty());
        const doctor::Finding& line = chain.report.findings.back();
        const std::string seen = std::string(doctor::statusName(line.status)) + ": " + line.found;
        EXPECT_EQ(0u, seen.find(row.says)) << seen;
        if (!row.elevated) {
            const REGSAM write = KEY_WRITE | (chain.registry.isWow64() ? KEY_WOW64_64KEY : 0);
            EXPECT_EQ(std::vector<REGSAM>{write}, recorder.openMasks);
        }
    }
}

// Office of either bitness on 64-bit Windows, and the add-ins registered for it. The rows speak of this
// build's bitness and of the other one, so that the 64-bit and the 32-bit build run the same table; the other
// build's DLL and doctor come from its bin folder and are registered with the registration tool of their
// bitness.
const std::string kThisBits = sizeof(void*) == 8 ? "64-bit" : "32-bit";
const std::string kOtherBits = sizeof(void*) == 8 ? "32-bit" : "64-bit";
const REGSAM kThisView = fixtures::ownView();
const REGSAM kOtherView = fixtures::otherView();

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
    const TrustedBuildRoot root;
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
        std::unique_ptr<InstalledAddIn> thisAddIn;
        if (row.thisAddIn) {
            thisAddIn = std::make_unique<InstalledAddIn>();
            EXPECT_TRUE(thisAddIn->ok());
        }
        std::unique_ptr<OtherAddIn> otherAddIn;
        if (row.otherAddIn) {
            otherAddIn = std::make_unique<OtherAddIn>(installation);
            EXPECT_TRUE(otherAddIn->ok());
        }
        const std::string thisDll = thisAddIn ? ascii(thisAddIn->dll()) : std::string();
        const std::string otherDll = otherAddIn ? ascii(otherAddIn->dll()) : std::string();
        if (row.crossed == Crossed::OtherViewNamesThisDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", thisDll, kOtherView);
        if (row.crossed == Crossed::ThisViewNamesOtherDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", otherDll, kThisView);
        std::vector<std::unique_ptr<InstalledOffice>> offices;
        for (const OfficeSign& sign : row.office) offices.push_back(std::make_unique<InstalledOffice>(sign));

        const DoctorRun run = runDoctor();
        for (const auto& [link, says] : row.says) expectLink(run, filledIn(link), filledIn(says));
        EXPECT_EQ(row.exitCode, run.exitCode) << run.output;

        // Each add-in's unregistration removes its class only while the class names it.
        if (row.crossed == Crossed::OtherViewNamesThisDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", otherDll, kOtherView);
        if (row.crossed == Crossed::ThisViewNamesOtherDll)
            fixtures::setString(HKEY_LOCAL_MACHINE, connectServer, "", thisDll, kThisView);
    }
    ::CoUninitialize();
}

}  // namespace
