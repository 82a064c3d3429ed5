// The doctor, run as a fleet tool runs it (quillery-doctor --json beside this program), on a healthy
// installation and with each link of the chain broken in turn.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/FixtureData.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tests/com/AddInEnvironment.h"
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

DoctorRun runDoctor() {
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
    std::wstring command = L"\"" + besideProgram(L"quillery-doctor.exe") + L"\" --json";
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

}  // namespace
