// Registration as users get it, in the test prefix: regsvr32 and regsvr32 /u on the built DLL (the question
// and the outcome answered in regsvr32's own windows), the DLL's exports in this process where the thread
// locale must be seen, and copies of the DLL whose script is broken.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "TandrelLib.h"
#include "server/AddInModule.h"
#include "tests/allocation/FailingAllocator.h"
#include "tests/com/AddInEnvironment.h"
#include "tests/com/MessageBoxAnswerer.h"
#include "tools/fixtures/InstallationFixture.h"
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

std::string stringValue(HKEY root, const std::string& path, const char* name) {
    char text[1024] = {};
    DWORD size = sizeof text;
    if (::RegGetValueA(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return "<missing>";
    return text;
}

// Every key and value below a root, one line each: our own walk, so that two moments can be compared.
void walk(HKEY key, const std::wstring& path, std::set<std::wstring>& lines, int depthLeft) {
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
        // The 32-bit view links back into the classes root in Wine's registry; this 64-bit add-in never
        // writes there.
        if (_wcsicmp(name, L"Wow6432Node") == 0) continue;
        win::UniqueHkey child;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ, child.receive()) == ERROR_SUCCESS)
            walk(child.get(), path + L"\\" + name, lines, depthLeft - 1);
    }
}

// The parts of HKLM, HKCU and HKCR that registration may touch, whole, and the top level of the classes root
// (where the ProgIDs live). A walk of everything takes minutes under Wine, whose registry links some trees
// into others.
std::set<std::wstring> snapshot() {
    struct Part {
        HKEY root;
        const wchar_t* rootName;
        const wchar_t* path;
        int depth;
    };
    const Part parts[] = {
        {HKEY_CLASSES_ROOT, L"HKCR", L"", 1},
        {HKEY_CLASSES_ROOT, L"HKCR", L"CLSID", 8},
        {HKEY_CLASSES_ROOT, L"HKCR", L"TypeLib", 8},
        {HKEY_CLASSES_ROOT, L"HKCR", L"Interface", 8},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software", 1},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft", 1},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Office", 8},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Microsoft\\Windows\\CurrentVersion", 8},
        {HKEY_LOCAL_MACHINE, L"HKLM", L"Software\\Corvane", 8},
        {HKEY_CURRENT_USER, L"HKCU", L"Software", 8},
    };
    std::set<std::wstring> lines;
    for (const Part& part : parts) {
        win::UniqueHkey key;
        if (::RegOpenKeyExW(part.root, part.path, 0, KEY_READ, key.receive()) != ERROR_SUCCESS) continue;
        walk(key.get(), std::wstring(part.rootName) + L"\\" + part.path, lines, part.depth);
    }
    return lines;
}

std::vector<std::wstring> difference(const std::set<std::wstring>& a, const std::set<std::wstring>& b) {
    std::vector<std::wstring> out;
    for (const std::wstring& line : a)
        if (!b.count(line)) out.push_back(line);
    return out;
}

std::string narrow(const std::vector<std::wstring>& lines) {
    std::string out;
    for (const std::wstring& line : lines) out += std::string(line.begin(), line.end()) + "\n";
    return out;
}

struct ToolRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::vector<MessageBoxAnswerer::Shown> shown;
};

// Runs regsvr32 on a DLL and answers the message boxes its process shows, as the user would.
ToolRun regsvr32(const std::wstring& arguments, int answer) {
    ToolRun run;
    std::wstring command = L"regsvr32.exe " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          &process))
        return run;
    win::UniqueHandle processHandle(process.hProcess), threadHandle(process.hThread);
    struct Search {
        DWORD processId;
        std::set<HWND> answered;
        ToolRun* run;
        int answer;
    } search{process.dwProcessId, {}, &run, answer};
    for (int tick = 0; tick < 1500; ++tick) {
        if (::WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) break;
        ::EnumWindows(
            [](HWND window, LPARAM context) -> BOOL {
                auto& search = *reinterpret_cast<Search*>(context);
                DWORD owner = 0;
                ::GetWindowThreadProcessId(window, &owner);
                char className[16] = {};
                ::GetClassNameA(window, className, sizeof className);
                if (owner != search.processId || std::string(className) != "#32770" ||
                    search.answered.count(window) || !::IsWindowVisible(window))
                    return TRUE;
                // A box still being built has no texts yet; it is looked at again on the next tick.
                char caption[256] = {}, text[1024] = {};
                if (::GetWindowTextA(window, caption, sizeof caption) == 0 ||
                    ::GetWindowTextA(::GetDlgItem(window, 0xFFFF), text, sizeof text) == 0)
                    return TRUE;
                search.answered.insert(window);
                const bool question = ::GetDlgItem(window, IDYES) != nullptr;
                search.run->shown.push_back({caption, text, question});
                ::PostMessageA(window, WM_COMMAND, question ? search.answer : IDOK, 0);
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&search));
    }
    if (::WaitForSingleObject(process.hProcess, 0) != WAIT_OBJECT_0) ::TerminateProcess(process.hProcess, 99);
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    return run;
}

std::wstring quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
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
    const bool vendorKeyExisted = fixtures::keyExists(HKEY_LOCAL_MACHINE, "Software\\Corvane");
    InstallationFixture installed(installerWith("C:\\Quillery\\cleanup.exe /all"));
    installed.leaveMachineKey();  // the add-in deletes the key itself
    const std::set<std::wstring> before = snapshot();
    const std::wstring dll = quoted(hostsim::addInBesideProgram());

    ASSERT_EQ(regsvr32(L"/s " + dll, IDYES).exitCode, 0u);
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

    const ToolRun removal = regsvr32(L"/u /s " + dll, IDYES);
    EXPECT_EQ(removal.exitCode, 0u);
    ASSERT_EQ(removal.shown.size(), 2u);
    EXPECT_TRUE(removal.shown[0].question);
    EXPECT_EQ(removal.shown[0].caption, "Corvane Quillery");
    EXPECT_EQ(removal.shown[0].text, "Do you want to remove Quillery from Microsoft Office?");
    EXPECT_EQ(removal.shown[1].text, "Quillery has been removed.");

    const std::set<std::wstring> after = snapshot();
    std::vector<std::wstring> gone = difference(before, after), added = difference(after, before);
    for (std::wstring& line : gone) line = line.substr(0, line.find(L" : "));
    const std::wstring installationKey = L"HKLM\\Software\\Corvane\\Toolbar_Office";
    for (const std::wstring& line : gone)
        EXPECT_EQ(line.rfind(installationKey, 0), 0u)
            << "removed besides the installation key: " << narrow({line});
    ASSERT_EQ(added.size(), 1u) << narrow(added);
    const std::string runOnce = narrow(added);
    EXPECT_NE(runOnce.find("RunOnce : " + clsidText(CLSID_Connect) + " = 1:"), std::string::npos) << runOnce;
    EXPECT_EQ(stringValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect).c_str()),
              "C:\\Quillery\\cleanup.exe /all");
    fixtures::deleteValue(HKEY_LOCAL_MACHINE, kRunOnce, clsidText(CLSID_Connect));
    if (!vendorKeyExisted) fixtures::deleteTree(HKEY_LOCAL_MACHINE, "Software\\Corvane");
}

struct UnregisterCase {
    const char* name;
    bool installed;
    std::string remove;  // the installer's "Remove" command; empty: none
    int answer;
    HRESULT expected;
    bool keysRemain;
    std::string runOnce;  // expected run-once command, "<missing>" for none
};

TEST(Registration, UnregistrationFollowsTheUsersAnswerAndTheInstallersCommand) {
    const OfficeParentKeys office;
    const std::vector<UnregisterCase> cases = {
        {"answered No", true, "C:\\cleanup.exe", IDNO, 8, true, "<missing>"},
        {"empty Remove", true, "", IDYES, S_OK, false, "<missing>"},
        {"real Remove", true, "C:\\cleanup.exe /q", IDYES, S_OK, false, "C:\\cleanup.exe /q"},
        {"no installation key: texts are the keys", false, "", IDYES, S_OK, false, "<missing>"},
    };
    for (const UnregisterCase& row : cases) {
        InstallationFixture::Options options = installerWith(row.remove);
        options.machineKey = row.installed;
        InstallationFixture installed(options);
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
            if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.receive()) == ERROR_SUCCESS)
                walk(key.get(), L"HKCR\\" + path, lines, path == L"CLSID" || path == L"TypeLib" ? 0 : 8);
        }
        win::UniqueHkey office;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Office", 0, KEY_READ,
                            office.receive()) == ERROR_SUCCESS)
            walk(office.get(), L"HKLM\\Software\\Microsoft\\Office", lines, 8);
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
