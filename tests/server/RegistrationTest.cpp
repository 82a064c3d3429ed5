// Registration as users get it, in the test prefix: regsvr32 and regsvr32 /u on the built DLL (the question
// and the outcome answered in regsvr32's own windows), the DLL's exports in this process where the thread
// locale must be seen, copies of the DLL whose script is broken, and the library of the other bitness
// registered beside this one. The 64-bit and the 32-bit build run the same tests in one 64-bit prefix: each
// registers into its own registry view, as a library of that bitness does on 64-bit Windows.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "QuilleryVersion.h"
#include "TandrelLib.h"
#include "server/AddInModule.h"
#include "server/ClassTable.h"
#include "tests/allocation/FailingAllocator.h"
#include "tests/com/AddInEnvironment.h"
#include "tests/com/MessageBoxAnswerer.h"
#include "tests/com/OtherBitness.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInLocation.h"
#include "win/ComPtr.h"
#include "win/EntryPoint.h"
#include "win/UniqueHandle.h"
#include "win/UniqueHkey.h"

namespace {

using fixtures::InstallationFixture;

const std::string kInstallationKey = InstallationFixture::kKeyPath;
const char* const kOfficeApps[] = {"Excel", "PowerPoint", "Word"};
const std::string kRunOnce = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// This build's registry view and the other one; a 64-bit build's own is the 64-bit view.
const REGSAM kOwnView = fixtures::ownView();
const REGSAM kOtherView = fixtures::otherView();
// The system kinds under which the type library of this build and of the other one is registered.
const char* const kOwnSystemKind = kOwnView == KEY_WOW64_64KEY ? "win64" : "win32";
const char* const kOtherSystemKind = kOwnView == KEY_WOW64_64KEY ? "win32" : "win64";

std::string clsidText(const GUID& guid) {
    wchar_t wide[40] = {};
    ::StringFromGUID2(guid, wide, 40);
    return std::string(wide, wide + 38);
}

std::string addInKey(const char* app) {
    return std::string("Software\\Microsoft\\Office\\") + app + "\\Addins\\TandrelQuillery.Connect";
}

std::string uninstallKey() {
    return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + clsidText(CLSID_Connect);
}

std::string typeLibraryEntry(const char* systemKind) {
    return "TypeLib\\" + clsidText(LIBID_TandrelLib) + "\\" + std::to_string(kTypeLibraryMajor) + "." +
           std::to_string(kTypeLibraryMinor) + "\\0\\" + systemKind;
}

std::string stringValue(HKEY root, const std::string& path, const char* name, REGSAM view = 0) {
    return fixtures::stringOf(root, path, name, view).value_or("<missing>");
}

std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// Where a library is registered in one view: the file its class names there, how many Office hosts find it
// there, and whether the list of installed programs has its entry there.
std::string registrationIn(REGSAM view) {
    int hosts = 0;
    for (const char* app : kOfficeApps) hosts += fixtures::keyExists(HKEY_LOCAL_MACHINE, addInKey(app), view);
    return "class " +
           stringValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsidText(CLSID_Connect) + "\\InprocServer32", "",
                       view) +
           ", " + std::to_string(hosts) + " hosts, uninstall entry " +
           (fixtures::keyExists(HKEY_LOCAL_MACHINE, uninstallKey(), view) ? "yes" : "no");
}

std::string registeredAs(const std::wstring& dll) {
    return "class " + narrow(dll) + ", 3 hosts, uninstall entry yes";
}

const std::string kNotRegistered = "class <missing>, 0 hosts, uninstall entry no";

// Every key and value below a root, one line each: our own walk, so that two moments can be compared.
void walk(HKEY key, const std::wstring& path, std::set<std::wstring>& lines, int depthLeft, REGSAM view) {
    lines.insert(path);
    if (depthLeft == 0) return;
    for (DWORD index = 0;; ++index) {
        static std::vector<wchar_t> name(16384);
        static std::vector<BYTE> data(65536);
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LSTATUS status =
            ::RegEnumValueW(key, index, name.data(), &nameSize, nullptr, &type, data.data(), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS) break;
        std::wstring line =
            path + L" : " + std::wstring(name.data(), nameSize) + L" = " + std::to_wstring(type) + L":";
        if (status == ERROR_SUCCESS) {
            for (DWORD i = 0; i < dataSize; ++i)
                line += L"0123456789ABCDEF"[data[i] >> 4], line += L"0123456789ABCDEF"[data[i] & 15];
        }
        lines.insert(line);
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameSize = 256;
        if (::RegEnumKeyExW(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        // The 32-bit view is walked as a view of its own.
        if (_wcsicmp(name, L"Wow6432Node") == 0) continue;
        win::UniqueHkey child;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ | view, child.receive()) == ERROR_SUCCESS)
            walk(child.get(), path + L"\\" + name, lines, depthLeft - 1, view);
    }
}

// The parts of HKLM, HKCU and HKCR that registration may touch, whole, and the top level of the classes root
// (where the ProgIDs live). Parts that 64-bit Windows keeps apart per view are walked in both ("HKLM64",
// "HKLM32", ...), the shared ones once. A walk of everything takes minutes under Wine, whose registry links
// some trees into others.
std::set<std::wstring> snapshot() {
    struct Part {
        HKEY root;
        const wchar_t* rootName;
        const wchar_t* path;
        int depth;
        bool perView;
    };
    const Part parts[] = {
        {HKEY_CLASSES_ROOT, L"HKCR", L"", 1, false},
        {HKEY_CLASSES_ROOT, L"HKCR", L"CLSID", 8, true},
        {HKEY_CLASSES_ROOT, L"HKCR", L"TypeLib", 8, false},
        {HKEY_CLASSES_ROOT, L"HKCR", L"Interface", 8, true},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software", 1, true},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft", 1, true},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Office", 8, true},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion", 8, true},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Corvane", 8, true},
        {HKEY_CURRENT_USER, L"HKCU", L"Software", 8, false},
    };
    std::set<std::wstring> lines;
    for (const Part& part : parts) {
        for (const REGSAM view : {REGSAM{KEY_WOW64_64KEY}, REGSAM{KEY_WOW64_32KEY}}) {
            const std::wstring name = std::wstring(part.rootName) +
                                      (part.perView ? (view == KEY_WOW64_64KEY ? L"64" : L"32") : L"");
            const REGSAM used = part.perView ? view : 0;
            win::UniqueHkey key;
            if (::RegOpenKeyExW(part.root, part.path, 0, KEY_READ | used, key.receive()) == ERROR_SUCCESS)
                walk(key.get(), name + L"\\" + part.path, lines, part.depth, used);
            if (!part.perView) break;
        }
    }
    return lines;
}

// Whether a snapshot line lies in the installation key of either view.
bool inInstallationKey(const std::wstring& line) {
    for (const wchar_t* view : {L"HKLM64", L"HKLM32"}) {
        if (line.rfind(std::wstring(view) + L"\\Software\\Corvane\\Toolbar_Office", 0) == 0) return true;
    }
    return false;
}

std::vector<std::wstring> difference(const std::set<std::wstring>& a, const std::set<std::wstring>& b) {
    std::vector<std::wstring> out;
    for (const std::wstring& line : a)
        if (!b.count(line)) out.push_back(line);
    return out;
}

std::string narrow(const std::vector<std::wstring>& lines) {
    std::string out;
    for (const std::wstring& line : lines) out += narrow(line) + "\n";
    return out;
}

// Office and other software as a machine has them: another add-in beside ours, another class beside ours.
class OtherSoftware {
public:
    OtherSoftware() {
        for (const char* app : kOfficeApps) {
            const std::string addIns = std::string("Software\\Microsoft\\Office\\") + app + "\\Addins";
            create(HKEY_LOCAL_MACHINE, addIns + "\\Other.Addin");
            fixtures::setDword(HKEY_LOCAL_MACHINE, addIns + "\\Other.Addin", "LoadBehavior", 3);
            fixtures::setString(HKEY_LOCAL_MACHINE, addIns, "ForeignValue", "theirs");
        }
        create(HKEY_CLASSES_ROOT, kForeignClass + "\\InprocServer32");
        fixtures::setString(HKEY_CLASSES_ROOT, kForeignClass + "\\InprocServer32", "", "C:\\other.dll");
    }
    static void create(HKEY root, const std::string& path) {
        win::UniqueHkey key;
        ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.receive(), nullptr);
    }
    ~OtherSoftware() {
        fixtures::deleteTree(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Office");
        fixtures::deleteTree(HKEY_CLASSES_ROOT, kForeignClass);
    }
    const std::string kForeignClass = "CLSID\\{0BADF00D-0000-4000-8000-000000000001}";
};

InstallationFixture::Options installerWith(const std::string& remove) {
    InstallationFixture::Options options;
    options.values["UnRegister"] = "C:\\Quillery\\setup.exe /uninstall";
    if (!remove.empty()) options.values["Remove"] = remove;
    return options;
}

TEST(Registration, Regsvr32RegistersAndRemovesExactlyWhatItShould) {
    OtherSoftware other;
    InstallationFixture installed(installerWith("C:\\Quillery\\cleanup.exe /all"));
    const std::set<std::wstring> before = snapshot();
    const std::wstring dll = hostsim::addInBesideProgram();

    ASSERT_EQ(regsvr32(L"/s " + quoted(dll), IDYES).exitCode, 0u);
    // This bitness's registration is in its own view alone; the type library's key is shared, with an entry
    // per bitness.
    EXPECT_EQ(registrationIn(kOwnView), registeredAs(dll));
    EXPECT_EQ(registrationIn(kOtherView), kNotRegistered);
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, typeLibraryEntry(kOwnSystemKind), ""), narrow(dll));
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, typeLibraryEntry(kOtherSystemKind), ""), "<missing>");
    for (const char* app : kOfficeApps) {
        EXPECT_EQ(fixtures::dwordOf(HKEY_LOCAL_MACHINE, addInKey(app), "LoadBehavior"), 3u) << app;
        EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, addInKey(app), "FriendlyName"), "Corvane Quillery") << app;
    }
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, uninstallKey(), "UnInstallString"),
              "C:\\Quillery\\setup.exe /uninstall");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, uninstallKey(), "DisplayVersion"), "1.41.0.0");
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kInstallationKey, "Version"), "1.41.0.0");
    {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        CLSID classId = {};
        EXPECT_EQ(::CLSIDFromProgID(L"TandrelQuillery.Connect", &classId), S_OK);
        win::ComPtr<IDispatch> addIn;
        EXPECT_EQ(
            ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, addIn.receiveVoid()),
            S_OK);
        addIn.reset();
        ::CoUninitialize();
    }

    const ToolRun removal = regsvr32(L"/u /s " + quoted(dll), IDYES);
    EXPECT_EQ(removal.exitCode, 0u);
    ASSERT_EQ(removal.shown.size(), 2u);
    EXPECT_TRUE(removal.shown[0].question);
    EXPECT_EQ(removal.shown[0].caption, "Corvane Quillery");
    EXPECT_EQ(removal.shown[0].text, "Do you want to remove Quillery from Microsoft Office?");
    EXPECT_EQ(removal.shown[1].text, "Quillery has been removed.");

    const std::set<std::wstring> after = snapshot();
    const std::vector<std::wstring> gone = difference(before, after), added = difference(after, before);
    for (const std::wstring& line : gone)
        EXPECT_TRUE(inInstallationKey(line)) << "removed besides the installation key: " << narrow(line);
    ASSERT_EQ(added.size(), 1u) << narrow(added);
    const std::string runOnce = narrow(added);
    EXPECT_NE(runOnce.find("RunOnce : " + clsidText(CLSID_Connect) + " = 1:"), std::string::npos) << runOnce;
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect).c_str()),
              "C:\\Quillery\\cleanup.exe /all");
    fixtures::deleteValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect));
}

struct UnregisterCase {
    const char* name;
    bool installed;
    std::string remove;  // the installer's "Remove" command; empty: none
    int answer;
    HRESULT expected;
    bool keysRemain;
    std::string runOnce;     // expected run-once command, "<missing>" for none
    bool bothViews = false;  // the installer wrote the installation key into the other view too
};

TEST(Registration, UnregistrationFollowsTheUsersAnswerAndTheInstallersCommand) {
    const OfficeParentKeys office;
    const std::vector<UnregisterCase> cases = {
        {"answered No", true, "C:\\cleanup.exe", IDNO, 8, true, "<missing>"},
        {"empty Remove", true, "", IDYES, S_OK, false, "<missing>"},
        {"real Remove", true, "C:\\cleanup.exe /q", IDYES, S_OK, false, "C:\\cleanup.exe /q"},
        {"no installation key: texts are the keys", false, "", IDYES, S_OK, false, "<missing>"},
        {"installation key in both views", true, "", IDYES, S_OK, false, "<missing>", true},
    };
    for (const UnregisterCase& row : cases) {
        InstallationFixture::Options options = installerWith(row.remove);
        options.machineKey = row.installed;
        InstallationFixture installed(options);
        std::unique_ptr<fixtures::CreatedKey> otherViewKey;
        if (row.bothViews) {
            otherViewKey =
                std::make_unique<fixtures::CreatedKey>(HKEY_LOCAL_MACHINE, kInstallationKey, kOtherView);
            fixtures::setString(HKEY_LOCAL_MACHINE, kInstallationKey, "XMLStrings",
                                installed.filePathOf("XMLStrings"), kOtherView);
        }
        ASSERT_EQ(callAddInExport("DllRegisterServer"), S_OK) << row.name;
        if (!row.installed) {
            EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, uninstallKey(), "DisplayName"), "Corvane Quillery");
            EXPECT_FALSE(fixtures::keyExists(HKEY_LOCAL_MACHINE, kInstallationKey)) << row.name;
        }
        MessageBoxAnswerer answerer(row.answer);
        EXPECT_EQ(callAddInExport("DllUnregisterServer"), row.expected) << row.name;
        ASSERT_FALSE(answerer.shown.empty()) << row.name;
        EXPECT_EQ(answerer.shown[0].text, row.installed
                                              ? "Do you want to remove Quillery from Microsoft Office?"
                                              : "LangUninstallPrompt");
        EXPECT_EQ(answerer.shown.size(), row.answer == IDYES ? 2u : 1u) << row.name;
        EXPECT_EQ(fixtures::keyExists(HKEY_LOCAL_MACHINE, addInKey("Word")), row.keysRemain) << row.name;
        EXPECT_EQ(fixtures::keyExists(HKEY_LOCAL_MACHINE, kInstallationKey), row.installed && row.keysRemain)
            << row.name;
        // A 32-bit library on 64-bit Windows removes the key from the 64-bit view as well; a 64-bit library
        // leaves the 32-bit view alone.
        EXPECT_EQ(fixtures::keyExists(HKEY_LOCAL_MACHINE, kInstallationKey, kOtherView),
                  row.bothViews && (row.keysRemain || !underWow64()))
            << row.name;
        EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect).c_str()), row.runOnce)
            << row.name;
        fixtures::deleteValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect));
        if (row.keysRemain) {
            MessageBoxAnswerer yes(IDYES);
            callAddInExport("DllUnregisterServer");
            fixtures::deleteValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect));
        }
    }
}

struct ProgramRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs a program to its end (a minute at most) and collects what it writes.
ProgramRun runProgram(const std::wstring& program, const std::wstring& arguments) {
    ProgramRun run;
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring outputPath =
        std::wstring(folder) + L"quillery-output-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    {
        win::UniqueHandle output(::CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output) return run;
        std::wstring command = quoted(program) + L" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = output.get();
        PROCESS_INFORMATION process = {};
        if (!::CreateProcessW(program.c_str(), &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &startup, &process))
            return run;
        win::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
        if (::WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0)
            ::TerminateProcess(process.hProcess, 99);
        ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    }
    win::UniqueHandle input(::CreateFileW(outputPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    char buffer[4096];
    DWORD read = 0;
    while (input && ::ReadFile(input.get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        run.output.append(buffer, read);
    input.reset();
    ::DeleteFileW(outputPath.c_str());
    return run;
}

// Lines of `after` that are not in `before`, and lines of `before` gone from `after` that are not in the
// installation key of either view (which unregistration deletes).
std::string changesBesidesTheInstallationKeys(const std::set<std::wstring>& before,
                                              const std::set<std::wstring>& after) {
    std::vector<std::wstring> changes;
    for (const std::wstring& line : difference(before, after))
        if (!inInstallationKey(line)) changes.push_back(L"gone: " + line);
    for (const std::wstring& line : difference(after, before)) changes.push_back(L"added: " + line);
    return narrow(changes);
}

// 64-bit Windows with both libraries, as for a machine where 32-bit Office may be replaced by 64-bit Office
// or the other way round: each bitness registers into its own view, and the ProgIDs and the type library's
// key are shared. Removing this bitness leaves the other's registration exactly as it was alone, and the
// other's Office still loads its add-in with its texts; removing the other too gives back the machine as it
// was.
TEST(Registration, EachBitnessRegistersInItsOwnViewAndRemovingOneLeavesTheOther) {
    const std::wstring ownDll = hostsim::addInBesideProgram();
    const std::wstring otherDll = peerFile(L"Quillery.dll");
    if (otherDll.empty()) GTEST_SKIP() << "the build of the other bitness is not known (QUILLERY_PEER_BIN)";
    // Office of either bitness has been installed once: its add-in keys are there in both views.
    std::vector<std::unique_ptr<fixtures::CreatedKey>> office;
    for (const REGSAM view : {kOwnView, kOtherView}) {
        for (const char* app : kOfficeApps) {
            office.push_back(std::make_unique<fixtures::CreatedKey>(
                HKEY_LOCAL_MACHINE, std::string("Software\\Microsoft\\Office\\") + app + "\\Addins", view));
        }
    }
    // The installer writes the installation key into both views, naming the same files.
    InstallationFixture installed;
    const fixtures::CreatedKey otherInstallation(HKEY_LOCAL_MACHINE, kInstallationKey, kOtherView);
    for (const InstallationFixture::File& file : InstallationFixture::files()) {
        ASSERT_TRUE(fixtures::setString(HKEY_LOCAL_MACHINE, kInstallationKey, file.valueName,
                                        installed.filePathOf(file.valueName), kOtherView));
    }
    const fixtures::PrinterFixture printer;
    const std::set<std::wstring> before = snapshot();

    ASSERT_EQ(regsvr32(L"/s " + quoted(otherDll), IDYES, otherRegsvr32()).exitCode, 0u);
    const std::set<std::wstring> otherAlone = snapshot();
    ASSERT_EQ(regsvr32(L"/s " + quoted(ownDll), IDYES).exitCode, 0u);
    EXPECT_EQ(registrationIn(kOwnView), registeredAs(ownDll));
    EXPECT_EQ(registrationIn(kOtherView), registeredAs(otherDll));
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, typeLibraryEntry(kOwnSystemKind), ""), narrow(ownDll));
    EXPECT_EQ(stringValue(HKEY_CLASSES_ROOT, typeLibraryEntry(kOtherSystemKind), ""), narrow(otherDll));

    const ToolRun removal = regsvr32(L"/u /s " + quoted(ownDll), IDYES);
    EXPECT_EQ(removal.exitCode, 0u);
    EXPECT_EQ(changesBesidesTheInstallationKeys(otherAlone, snapshot()), "");
    EXPECT_FALSE(fixtures::keyExists(HKEY_LOCAL_MACHINE, kInstallationKey, kOwnView));
    EXPECT_TRUE(fixtures::keyExists(HKEY_LOCAL_MACHINE, kInstallationKey, kOtherView));
    const ProgramRun otherHost = runProgram(peerFile(L"quillery-hostsim.exe"), L"word");
    EXPECT_EQ(otherHost.exitCode, 0u) << otherHost.output;
    EXPECT_NE(otherHost.output.find(
                  "TandrelQuillery.Connect  \"Corvane Quillery\"  Load at start-up (3)  -> loaded"),
              std::string::npos)
        << otherHost.output;
    EXPECT_NE(otherHost.output.find("button ButtonPrintWordID  \"Print\""), std::string::npos)
        << otherHost.output;

    ASSERT_EQ(regsvr32(L"/u /s " + quoted(otherDll), IDYES, otherRegsvr32()).exitCode, 0u);
    EXPECT_EQ(changesBesidesTheInstallationKeys(before, snapshot()), "");
}

// What the other bitness's registration looks like to this one's unregistration: it keeps what the two share
// whenever the machine's class of the other view names another file, however that file is written, says what
// the registry answered when it cannot take its own entry of the type library, and takes the shared keys when
// only a user's own classes name one: an administrator's unregistration is the machine's.
struct SharedRow {
    const char* name;
    std::string otherServer;  // the other view's InprocServer32 of the connection class
    HKEY otherRoot;           // whose classes hold it: the machine's, or a user's own
    bool entryHeld;           // a key below this bitness's type-library entry keeps the registry from deleting it
    HRESULT unregistered;
    bool sharedKept;
};

TEST(Registration, UnregistrationBesideTheOtherBitnessKeepsWhatTheyShare) {
    const std::string own = narrow(hostsim::addInBesideProgram());
    std::string softHyphen = own;
    softHyphen.insert(softHyphen.find_last_of('\\') + 5, "\xAD");  // the same to a locale's comparison
    const SharedRow rows[] = {
        {"a path longer than MAX_PATH", "C:\\Program Files (x86)\\" + std::string(300, 'q') + ".dll",
         HKEY_LOCAL_MACHINE, false, S_OK, true},
        {"a path that differs by a soft hyphen", softHyphen, HKEY_LOCAL_MACHINE, false, S_OK, true},
        {"this bitness's entry cannot be deleted", "C:\\Program Files (x86)\\Other\\Quillery.dll",
         HKEY_LOCAL_MACHINE, true, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), true},
        {"only a user's own class of the other view", "C:\\Users\\Public\\Quillery.dll", HKEY_CURRENT_USER,
         false, S_OK, false},
    };
    const std::string otherServer =
        "Software\\Classes\\CLSID\\" + clsidText(CLSID_Connect) + "\\InprocServer32";
    const std::string held = typeLibraryEntry(kOwnSystemKind) + "\\held";
    for (const SharedRow& row : rows) {
        SCOPED_TRACE(row.name);
        const OfficeParentKeys office;
        ASSERT_EQ(callAddInExport("DllRegisterServer"), S_OK);
        {
            const fixtures::CreatedKey other(row.otherRoot, otherServer, kOtherView);
            fixtures::setString(row.otherRoot, otherServer, "", row.otherServer, kOtherView);
            std::unique_ptr<fixtures::CreatedKey> holding;
            if (row.entryHeld) holding = std::make_unique<fixtures::CreatedKey>(HKEY_CLASSES_ROOT, held);
            MessageBoxAnswerer yes(IDYES);
            EXPECT_EQ(callAddInExport("DllUnregisterServer"), row.unregistered);
            EXPECT_EQ(row.sharedKept,
                      fixtures::keyExists(HKEY_LOCAL_MACHINE, "Software\\Classes\\TandrelQuillery.Connect"));
        }
        // Alone again, this bitness takes everything with it.
        ASSERT_EQ(callAddInExport("DllRegisterServer"), S_OK);
        MessageBoxAnswerer yes(IDYES);
        EXPECT_EQ(callAddInExport("DllUnregisterServer"), S_OK);
    }
}

// A copy of the DLL whose script 100 is replaced, loaded under its own name.
class BrokenCopy {
public:
    explicit BrokenCopy(const std::string& script) {
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        path_ =
            std::wstring(folder) + L"quillery-broken-" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
        if (!::CopyFileW(hostsim::addInBesideProgram().c_str(), path_.c_str(), FALSE)) return;
        HANDLE update = ::BeginUpdateResourceW(path_.c_str(), FALSE);
        if (!update) return;
        std::string data = script;
        ::UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(100),
                          MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), &data[0],
                          static_cast<DWORD>(data.size()));
        if (!::EndUpdateResourceW(update, FALSE)) return;
        module_ = ::LoadLibraryW(path_.c_str());
    }
    ~BrokenCopy() {
        if (module_) ::FreeLibrary(module_);
        ::DeleteFileW(path_.c_str());
    }
    HRESULT call(const char* name) const {
        auto entry = module_ ? entryPointAs<HRESULT(WINAPI*)()>(::GetProcAddress(module_, name)) : nullptr;
        return entry ? entry() : E_UNEXPECTED;
    }

private:
    std::wstring path_;
    HMODULE module_ = nullptr;
};

// A copy of the DLL whose path, its name included, has `length` characters (in folders of at most 100),
// loaded by that path in the \\?\ form that goes past MAX_PATH; gone with its folders.
struct CopyAtLength {
    explicit CopyAtLength(std::size_t length) {
        wchar_t temporary[MAX_PATH] = {};
        path.assign(temporary, ::GetTempPathW(MAX_PATH, temporary));
        for (std::size_t left; (left = length - path.size() - 12) > 0; path += L"\\") {
            path.append(left > 102 ? 100 : left - 1, L'q');
            folders.push_back(kLong + path);
            ::CreateDirectoryW(folders.back().c_str(), nullptr);
        }
        path += L"Quillery.dll";
        if (::CopyFileW(hostsim::addInBesideProgram().c_str(), (kLong + path).c_str(), FALSE))
            module = ::LoadLibraryW((kLong + path).c_str());
    }
    ~CopyAtLength() {
        if (module) ::FreeLibrary(module);
        ::DeleteFileW((kLong + path).c_str());
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder)
            ::RemoveDirectoryW(folder->c_str());
    }

    const std::wstring kLong = L"\\\\?\\";
    std::wstring path;
    std::vector<std::wstring> folders;
    HMODULE module = nullptr;
};

// The registrar of a library loaded from a path of any length (a buffer of MAX_PATH holds 259 characters and
// the NUL) registers the class by that very path, and takes it away again.
TEST(Registration, TheRegistrarNamesALibraryByAPathOfAnyLength) {
    const std::string server = "CLSID\\" + clsidText(CLSID_Connect) + "\\InprocServer32";
    const OfficeParentKeys office;
    CAddInModule& module = addInModule();
    for (const std::size_t length : {std::size_t{259}, std::size_t{260}, std::size_t{400}}) {
        const CopyAtLength copy(length);
        wchar_t loaded[1024] = {};
        const std::wstring path(loaded, ::GetModuleFileNameW(copy.module, loaded, 1024));
        ASSERT_TRUE(copy.module && path.size() >= length) << narrow(copy.path);
        module.setInstance(copy.module);
        for (const ClassEntry& entry : productClasses()) {
            if (!::IsEqualGUID(*entry.classId, CLSID_Connect)) continue;
            EXPECT_EQ(module.runRegistrarScript(entry.scriptId, true), S_OK) << length;
            EXPECT_EQ(narrow(path), stringValue(HKEY_CLASSES_ROOT, server, "")) << length;
            EXPECT_EQ(module.runRegistrarScript(entry.scriptId, false), S_OK) << length;
            EXPECT_FALSE(fixtures::keyExists(HKEY_CLASSES_ROOT, server)) << length;
        }
    }
}

TEST(Registration, FailingScriptWritesNothingAndRestoresTheThreadLocale) {
    const OfficeParentKeys office;
    InstallationFixture installed(installerWith("C:\\cleanup.exe"));
    BrokenCopy broken(
        "HKCR\r\n{\r\n    TandrelQuillery.Broken = s 'x'\r\n    {\r\n        'unterminated\r\n    "
        "}\r\n}\r\n");
    const LCID french = MAKELCID(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH), SORT_DEFAULT);
    ASSERT_TRUE(::SetThreadLocale(french));

    EXPECT_EQ(broken.call("DllRegisterServer"), DISP_E_EXCEPTION);
    EXPECT_EQ(::GetThreadLocale(), french);
    EXPECT_FALSE(fixtures::keyExists(HKEY_CLASSES_ROOT, "TandrelQuillery.Broken"));
    EXPECT_FALSE(fixtures::keyExists(HKEY_CLASSES_ROOT, "TandrelQuillery.SimpleATLAddIn"))
        << "second script ran";
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kInstallationKey, "Version"), "<missing>");

    ASSERT_EQ(callAddInExport("DllRegisterServer"), S_OK);
    EXPECT_EQ(::GetThreadLocale(), french);
    {
        MessageBoxAnswerer yes(IDYES);
        EXPECT_EQ(broken.call("DllUnregisterServer"), DISP_E_EXCEPTION);
        EXPECT_EQ(::GetThreadLocale(), french);
        ASSERT_EQ(yes.shown.size(), 2u);
        EXPECT_EQ(yes.shown[1].text, "Quillery could not be removed.");
    }
    EXPECT_TRUE(fixtures::keyExists(HKEY_LOCAL_MACHINE, kInstallationKey));
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect).c_str()), "<missing>");
    MessageBoxAnswerer yes(IDYES);
    EXPECT_EQ(callAddInExport("DllUnregisterServer"), S_OK);
    EXPECT_EQ(::GetThreadLocale(), french);
    fixtures::deleteValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect));
}

// The server layer of registration compiled into this program, with its allocator failing one allocation
// after another: every run reports running out of memory (or succeeds when the failing allocation came after
// the last one), never ends the process, and unregistration then leaves the registry exactly as it was.
TEST(Registration, RunningOutOfMemoryAnywhereIsReportedAndLeavesNothingBehind) {
    CAddInModule& module = addInModule();
    module.setInstance(::GetModuleHandleW(nullptr));
    // What the server layer writes, and the keys it shares with other software, watched at every step.
    auto registration = [] {
        auto braced = [](const GUID& guid) {
            const std::string text = clsidText(guid);
            return std::wstring(text.begin(), text.end());
        };
        std::set<std::wstring> lines;
        const std::wstring watched[] = {L"CLSID\\" + braced(CLSID_Connect),
                                        L"CLSID\\" + braced(CLSID_SimpleATLAddIn),
                                        L"TypeLib\\" + braced(LIBID_TandrelLib),
                                        L"Interface\\" + braced(IID_ISimpleATLAddIn),
                                        L"TandrelQuillery.Connect",
                                        L"TandrelQuillery.SimpleATLAddIn",
                                        L"CLSID",
                                        L"TypeLib"};
        for (const std::wstring& path : watched) {
            win::UniqueHkey key;
            if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | kOwnView, key.receive()) ==
                ERROR_SUCCESS)
                walk(key.get(), L"HKCR\\" + path, lines, path == L"CLSID" || path == L"TypeLib" ? 0 : 8,
                     kOwnView);
        }
        win::UniqueHkey office;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office", 0, KEY_READ | kOwnView,
                            office.receive()) == ERROR_SUCCESS)
            walk(office.get(), L"HKLM\\Software\\Microsoft\\Office", lines, 8, kOwnView);
        return lines;
    };
    // The parents of the Office add-in keys stay after a removal, as keys that Office shares: they are made
    // once before the run and taken away after it.
    const OfficeParentKeys office;
    ASSERT_EQ(module.registerServer(), S_OK);
    ASSERT_EQ(module.unregisterServer(), S_OK);
    const std::set<std::wstring> before = registration();
    struct Direction {
        const char* name;
        bool doRegister;
    };
    for (const Direction direction : {Direction{"registration", true}, Direction{"unregistration", false}}) {
        std::size_t points = 0;
        for (std::size_t failing = 1;; ++failing) {
            if (!direction.doRegister) {
                ASSERT_EQ(module.registerServer(), S_OK);
            }
            failing_allocator::failAt(failing);
            const HRESULT result = direction.doRegister ? module.registerServer() : module.unregisterServer();
            const bool failed = failing_allocator::stop();
            if (failed) {
                EXPECT_EQ(result, E_OUTOFMEMORY) << direction.name << ", allocation " << failing;
            } else {
                EXPECT_EQ(result, S_OK) << direction.name << ", allocation " << failing;
            }
            module.unregisterServer();
            const std::set<std::wstring> after = registration();
            ASSERT_EQ(difference(before, after), std::vector<std::wstring>())
                << direction.name << ", allocation " << failing << ": gone";
            ASSERT_EQ(difference(after, before), std::vector<std::wstring>())
                << direction.name << ", allocation " << failing << ": left";
            if (!failed) break;
            points = failing;
        }
        std::printf("%s: %zu allocation points\n", direction.name, points);
        EXPECT_GT(points, 0u) << direction.name;
    }
}

}  // namespace
