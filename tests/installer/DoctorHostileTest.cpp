// The doctor on a machine where an ordinary user has prepared a trap for the administrator who runs it
// elevated: it loads and starts nothing that only the user's own keys or folders name, says what it found, and
// its repair neither runs with the administrator's rights nor writes over what the user put in its way.
#include <windows.h>
#include <objbase.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "doctor/TrustedLocation.h"
#include "tests/com/OtherBitness.h"
#include "tests/installer/DoctorRun.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "win/UniqueHandle.h"

namespace {

using fixtures::InstallationFixture;
using fixtures::PrinterFixture;

const std::string kConnectClass = "Software\\Classes\\CLSID\\{A9F2F60F-41DD-495C-8BCE-03DC35A2850C}";
const std::string kConnectServer = kConnectClass + "\\InprocServer32";
// The XML parser Office reads markup with, as the machine registers it.
const std::string kParserServer =
    "Software\\Classes\\CLSID\\{88D96A05-F192-11D4-A65F-0040963251E5}\\InprocServer32";
const std::string kUserWord = "Software\\Microsoft\\Office\\Word\\Addins\\TandrelQuillery.Connect";

std::wstring temporaryFolder() {
    wchar_t folder[MAX_PATH] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder, length);
}

std::wstring marker() {
    return temporaryFolder() + L"quillery-planted.marker";
}

std::string contentOf(const std::wstring& path) {
    std::ifstream file(ascii(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// What the owner of a folder ("...\\") sees of it: every name that appears there from the watch's making on.
class FolderWatch {
public:
    explicit FolderWatch(const std::wstring& folder)
        : folder_(folder),
          directory_(::CreateFileW(
              folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr)) {
        // From the first request on, the folder's changes are kept for the next one (its handle is signalled
        // when one completes): none is missed.
        EXPECT_TRUE(listen()) << "cannot watch " << ascii(folder) << " (" << ::GetLastError() << ")";
    }
    // A request still pending is cancelled, and its end awaited, before its buffer goes.
    ~FolderWatch() {
        if (::CancelIoEx(directory_.get(), &overlapped_)) ::WaitForSingleObject(directory_.get(), 30000);
    }

    // The names that appeared before a file of the watch's own, the harness's output files (DoctorRun.cpp)
    // aside.
    std::string appeared() {
        const std::wstring last = L"quillery-watch-last.txt";
        std::ofstream(ascii(folder_ + last)) << "";
        std::string names;
        bool seen = false;
        while (!seen && ::WaitForSingleObject(directory_.get(), 30000) == WAIT_OBJECT_0) {
            DWORD size = 0;
            if (!::GetOverlappedResult(directory_.get(), &overlapped_, &size, FALSE)) break;
            for (DWORD offset = 0; size > 0 && !seen;) {
                const auto* entry = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(buffer_ + offset);
                const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
                seen = name == last;
                if (!seen && entry->Action == FILE_ACTION_ADDED && name.rfind(L"qdt", 0) != 0)
                    names += (names.empty() ? "" : ", ") + ascii(name);
                if (entry->NextEntryOffset == 0) break;
                offset += entry->NextEntryOffset;
            }
            if (!seen && !listen()) break;
        }
        EXPECT_TRUE(seen) << "the watch of " << ascii(folder_) << " never saw its own file";
        ::DeleteFileW((folder_ + last).c_str());
        return names;
    }

private:
    bool listen() {
        overlapped_ = OVERLAPPED{};
        return ::ReadDirectoryChangesW(directory_.get(), buffer_, sizeof buffer_, FALSE,
                                       FILE_NOTIFY_CHANGE_FILE_NAME, nullptr, &overlapped_, nullptr);
    }

    std::wstring folder_;
    win::UniqueHandle directory_;
    OVERLAPPED overlapped_{};
    alignas(DWORD) BYTE buffer_[64 * 1024];
};

// What the user prepared: a folder of their own with the planted library (as Quillery.dll and as
// QuilleryPlanted.dll) and a planted quillery-doctor.exe of the other bitness beside it, and whatever keys the
// row writes; all of it goes with the row.
class Trap {
public:
    Trap() : folder_(temporaryFolder() + L"QuilleryPlanted") {
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        ::CopyFileW(besideProgram(L"QuilleryPlanted.dll").c_str(), (folder_ + L"\\Quillery.dll").c_str(), FALSE);
        ::CopyFileW(besideProgram(L"QuilleryPlanted.dll").c_str(), (folder_ + L"\\QuilleryPlanted.dll").c_str(),
                    FALSE);
        ::CopyFileW(peerFile(L"quillery-planted.exe").c_str(), (folder_ + L"\\quillery-doctor.exe").c_str(),
                    FALSE);
        ::DeleteFileW(marker().c_str());
    }
    ~Trap() {
        for (auto& undo : undo_) undo();
        for (const wchar_t* file : {L"Quillery.dll", L"QuilleryPlanted.dll", L"quillery-doctor.exe"})
            ::DeleteFileW((folder_ + L"\\" + file).c_str());
        ::RemoveDirectoryW(folder_.c_str());
        ::DeleteFileW(restoreFile().c_str());
        ::DeleteFileW((temporaryFolder() + L"quillery-restore-target.txt").c_str());
        ::DeleteFileW(marker().c_str());
    }
    Trap(const Trap&) = delete;
    Trap& operator=(const Trap&) = delete;

    const std::wstring& folder() const { return folder_; }
    static std::wstring restoreFile() { return temporaryFolder() + L"quillery-hostile-restore.reg"; }

    // A value under a key the row makes, gone with the row.
    void write(HKEY root, const std::string& path, const std::string& name, const std::string& text,
               REGSAM view = 0) {
        keys_.push_back(std::make_unique<fixtures::CreatedKey>(root, path, view));
        fixtures::setString(root, path, name, text, view);
    }
    // A value that is there already, put back as it was when the row ends.
    void replace(HKEY root, const std::string& path, const std::string& text, REGSAM view = 0) {
        const std::string before = fixtures::stringOf(root, path, "", view).value_or(std::string());
        fixtures::setString(root, path, "", text, view);
        undo_.push_back([=] { fixtures::setString(root, path, "", before, view); });
    }
    // A folder under the other bitness's Program Files with that bitness's add-in and, beside it, a planted
    // quillery-doctor.exe of that bitness that is not signed; gone with the row. Its DLL's path.
    std::wstring intoProgramFiles() {
        const std::wstring folder = programFiles(Bits::Other) + L"\\QuilleryPlanted";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ::CopyFileW(peerFile(L"Quillery.dll").c_str(), (folder + L"\\Quillery.dll").c_str(), FALSE);
        ::CopyFileW(peerFile(L"quillery-planted.exe").c_str(), (folder + L"\\quillery-doctor.exe").c_str(), FALSE);
        undo_.push_back([folder] {
            for (const wchar_t* file : {L"Quillery.dll", L"quillery-doctor.exe"})
                ::DeleteFileW((folder + L"\\" + file).c_str());
            ::RemoveDirectoryW(folder.c_str());
        });
        return folder + L"\\Quillery.dll";
    }
    // Watches the user's temporary folder from now on; what appeared in it since.
    void watchTemporaryFolder() { watch_ = std::make_unique<FolderWatch>(temporaryFolder()); }
    std::string filesThatAppeared() { return watch_ ? watch_->appeared() : std::string(); }
    void setDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
        keys_.push_back(std::make_unique<fixtures::CreatedKey>(root, path));
        fixtures::setDword(root, path, name, value);
    }

private:
    std::wstring folder_;
    std::vector<std::unique_ptr<fixtures::CreatedKey>> keys_;
    std::vector<std::function<void()>> undo_;
    std::unique_ptr<FolderWatch> watch_;
};

struct HostileRow {
    const char* name;
    std::vector<OfficeSign> office;
    std::function<void(Trap&)> prepare;
    std::wstring arguments;
    Rights rights;
    bool inTrapFolder;  // the doctor's working folder is the user's
    // Links and what the report says there ($other: the other bitness's lines), "stderr" and what the
    // doctor said there, or "temporary folder" and the names of the files that appeared in it.
    std::vector<std::pair<std::string, std::string>> says;
    DWORD exitCode;
    bool wordLoadBehaviorKept;  // the user's LoadBehavior 2 is still there afterwards
};

const std::string kOtherBits = sizeof(void*) == 8 ? "32-bit" : "64-bit";
const std::string kOtherPrefix = kOtherBits + ".";

std::vector<HostileRow> hostileRows() {
    const std::wstring repairArguments = L"--json --repair --restore-file \"" + Trap::restoreFile() + L"\"";
    const auto disabledForWord = [](Trap& trap) {
        trap.setDword(HKEY_CURRENT_USER, kUserWord, "LoadBehavior", 2);
    };
    return {
        {"a per-user class names a planted library, with a planted doctor beside it",
         {{Sign::ClickToRun, Bits::This}, {Sign::Outlook, Bits::Other}},
         [](Trap& trap) {
             for (REGSAM view : {fixtures::ownView(), fixtures::otherView()})
                 trap.write(HKEY_CURRENT_USER, kConnectServer, "", ascii(trap.folder() + L"\\Quillery.dll"), view);
         },
         L"--json",
         Rights::Elevated,
         false,
         {{"class.user", "warning: HKCU\\Software\\Classes\\CLSID\\{A9F2F60F-41DD-495C-8BCE-03DC35A2850C}"
                         "\\InprocServer32...QuilleryPlanted\\Quillery.dll: for this user it overrides"},
          {kOtherPrefix + "class.user", "warning: ...QuilleryPlanted\\Quillery.dll: for this user it overrides"},
          {"class.folder", "ok: ...Quillery.dll lies where only administrators can change it"},
          {"class.load", "ok: loaded"},
          {kOtherPrefix + "class.load", "ok: loaded"}},
         0,
         false},
        {"the other doctor runs while the user watches and writes over what appears in their temporary "
         "folder",
         {{Sign::ClickToRun, Bits::This}, {Sign::Outlook, Bits::Other}},
         [](Trap& trap) { trap.watchTemporaryFolder(); },
         L"--json",
         Rights::Elevated,
         false,
         {{kOtherPrefix + "class.load", "ok: loaded"}, {"temporary folder", ""}},
         0,
         false},
        {"a per-user TreatAs on the class and a CurVer on the ProgID send the user's Office elsewhere",
         {{Sign::ClickToRun, Bits::This}},
         [](Trap& trap) {
             trap.write(HKEY_CURRENT_USER, kConnectClass + "\\TreatAs", "",
                        "{0D1E2F30-4150-6070-8090-A0B0C0D0E0F0}", fixtures::otherView());
             trap.write(HKEY_CURRENT_USER, "Software\\Classes\\TandrelQuillery.Connect\\CurVer", "",
                        "TandrelQuillery.Planted");
         },
         L"--json",
         Rights::Elevated,
         false,
         {{"class.user", "warning: ...sends it to {0D1E2F30-4150-6070-8090-A0B0C0D0E0F0}"},
          {"class.user", "warning: ...TandrelQuillery.Connect\\CurVer sends it to TandrelQuillery.Planted"},
          {"class.load", "ok: loaded"}},
         0,
         false},
        {"the machine's registration of the XML parser names a library outside System32",
         {{Sign::ClickToRun, Bits::This}},
         [](Trap& trap) {
             trap.replace(HKEY_LOCAL_MACHINE, kParserServer, ascii(trap.folder() + L"\\QuilleryPlanted.dll"));
         },
         L"--json",
         Rights::Elevated,
         false,
         {{"markup.word", "ok: "}},
         0,
         false},
        {"the machine's class names a library by a relative path, found in the user's working folder",
         {{Sign::ClickToRun, Bits::This}},
         [](Trap& trap) { trap.replace(HKEY_LOCAL_MACHINE, kConnectServer, "QuilleryPlanted.dll"); },
         L"--json",
         Rights::Elevated,
         true,
         {{"class.folder", "broken: QuilleryPlanted.dll is not an absolute path"},
          {"class.load", "broken: QuilleryPlanted.dll is not an absolute path"}},
         1,
         false},
        {"the machine's class of the other bitness names a doctor beside it that is not signed",
         {{Sign::ClickToRun, Bits::This}, {Sign::Outlook, Bits::Other}},
         [](Trap& trap) {
             trap.replace(HKEY_LOCAL_MACHINE, kConnectServer, ascii(trap.intoProgramFiles()), fixtures::otherView());
         },
         L"--json",
         Rights::Elevated,
         false,
         {{"addin." + kOtherBits, "broken: ...is not run: it is not signed, and this doctor is"}},
         1,
         false},
        {"--repair run elevated",
         {{Sign::ClickToRun, Bits::This}},
         disabledForWord,
         repairArguments,
         Rights::Elevated,
         false,
         {{"stderr", "--repair is refused: it runs elevated"}},
         3,
         true},
        {"a file is already where the restore file goes",
         {{Sign::ClickToRun, Bits::This}},
         [=](Trap& trap) {
             disabledForWord(trap);
             std::ofstream(ascii(Trap::restoreFile())) << "the user's own";
         },
         repairArguments,
         Rights::Limited,
         false,
         {{"repair", "something is already there, and it is left as it is"}},
         1,
         true},
        {"a link is already where the restore file goes",
         {{Sign::ClickToRun, Bits::This}},
         [=](Trap& trap) {
             disabledForWord(trap);
             // A hard link: Wine reports symbolic links made that it does not make.
             const std::wstring target = temporaryFolder() + L"quillery-restore-target.txt";
             std::ofstream(ascii(target)) << "the user's own";
             EXPECT_TRUE(::CreateHardLinkW(Trap::restoreFile().c_str(), target.c_str(), nullptr));
         },
         repairArguments,
         Rights::Limited,
         false,
         {{"repair", "something is already there, and it is left as it is"}},
         1,
         true},
    };
}

TEST(DoctorHostile, LoadsAndRunsNothingTheUserNamesAndRepairsNothingElevated) {
    if (peerFile(L"quillery-planted.exe").empty())
        GTEST_SKIP() << "the build of the other bitness is not known (QUILLERY_PEER_BIN)";
    const TrustedBuildRoot root;
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    for (const HostileRow& row : hostileRows()) {
        SCOPED_TRACE(row.name);
        InstallationFixture::Options installationOptions;
        const InstallationFixture installation(installationOptions);
        const PrinterFixture printer;
        InstalledAddIn ours;
        ASSERT_TRUE(ours.ok());
        const OtherAddIn other(installation);
        OfficeAddInKeys office;
        std::vector<std::unique_ptr<InstalledOffice>> offices;
        for (const OfficeSign& sign : row.office) offices.push_back(std::make_unique<InstalledOffice>(sign));
        {
            Trap trap;
            row.prepare(trap);
            const DoctorRun run = runDoctor(row.arguments, row.rights, row.inTrapFolder ? trap.folder() : L"");
            for (const auto& [where, says] : row.says) {
                if (where == "stderr") {
                    EXPECT_NE(std::string::npos, run.errors.find(says)) << run.errors;
                } else if (where == "temporary folder") {
                    EXPECT_EQ(says, trap.filesThatAppeared());
                } else if (where == "repair") {
                    EXPECT_NE(std::string::npos, run.report["repair"].value("problem", "").find(says))
                        << run.output;
                } else {
                    expectLink(run, where, says);
                }
            }
            EXPECT_EQ(row.exitCode, run.exitCode) << run.output << run.errors;
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(marker().c_str()))
                << "a planted library was loaded, or a planted program run";
            if (row.wordLoadBehaviorKept) {
                EXPECT_EQ(2u, fixtures::dwordOf(HKEY_CURRENT_USER, kUserWord, "LoadBehavior").value_or(0));
                const std::string left = contentOf(Trap::restoreFile());
                EXPECT_TRUE(left.empty() || left == "the user's own") << left;
            }
        }
    }
    ::CoUninitialize();
}

// The security rule on descriptors as Windows keeps them (Wine keeps none for files: every file there is its
// user's own).
struct DescriptorRow {
    const char* name;
    const wchar_t* sddl;
    bool onlyAdministrators;
};

TEST(DoctorTrustedLocation, OnlyWhatNoneButTheAdministratorsMayChangeIsLoaded) {
    const DescriptorRow rows[] = {
        {"administrators and SYSTEM change, users read", L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)", true},
        {"TrustedInstaller owns it",
         L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:(A;;FA;;;BA)", true},
        {"users may write", L"O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)", false},
        {"authenticated users may delete it, despite a denial to everyone", L"O:BAD:(D;;FA;;;WD)(A;;SD;;;AU)",
         false},
        {"a user owns it", L"O:BUD:(A;;FA;;;BA)", false},
        {"users' rights pass to children only", L"O:SYD:(A;OICIIO;FA;;;BU)(A;;FA;;;SY)", true},
        {"an empty list grants nobody", L"O:BAD:", true},
        {"no list at all grants everybody", L"O:BA", false},
    };
    for (const DescriptorRow& row : rows) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(row.sddl, SDDL_REVISION_1, &descriptor,
                                                                         nullptr))
            << row.name;
        EXPECT_EQ(row.onlyAdministrators, doctor::onlyAdministratorsMay(
                                              descriptor, FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC | DELETE))
            << row.name;
        ::LocalFree(descriptor);
    }
}

// Descriptors as Windows sets them: the system drive's root (authenticated users may make folders in it),
// Program Files (TrustedInstaller's), what a package installs there (inherited), and a user's profile.
const std::wstring kRoot =
    L"O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;CI;0x4;;;AU)(A;OIIO;SD;;;AU)";
const std::wstring kProgramFiles =
    L"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P"
    L"(A;;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)(A;;0x1301bf;;;SY)"
    L"(A;;0x1301bf;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)";
const std::wstring kInstalled = L"O:BAD:(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)(A;ID;0x1200a9;;;AC)";
const std::wstring kEves = L"O:S-1-5-21-1-2-3-1001D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-1-2-3-1001)";

const std::wstring kDll = L"C:\\Program Files\\Corvane Quillery\\Quillery.dll";
const std::wstring kFolder = L"C:\\Program Files\\Corvane Quillery";

// The components of the installed add-in, with some of them changed.
std::map<std::wstring, std::wstring> installed(std::map<std::wstring, std::wstring> changes = {}) {
    std::map<std::wstring, std::wstring> security = {
        {L"C:\\", kRoot}, {L"C:\\Program Files", kProgramFiles}, {kFolder, kInstalled}, {kDll, kInstalled}};
    for (auto& [path, sddl] : changes) security[path] = sddl;
    return security;
}

struct LocationRow {
    const char* name;
    std::wstring named;
    std::wstring finalPath;
    std::map<std::wstring, std::wstring> security;
    std::map<wchar_t, doctor::DriveKind> drives;
    std::string why;  // a part of the reason; empty when the file may be used
};

// The machine as a row describes it: each component's descriptor as SDDL, and what each drive letter is.
class TableFacts : public doctor::LocationFacts {
public:
    explicit TableFacts(const LocationRow& row) : row_(row) {}
    win::UniqueLocalMemory securityOf(const std::wstring& path) const override {
        win::UniqueLocalMemory descriptor;
        const auto found = row_.security.find(path);
        EXPECT_TRUE(found != row_.security.end() &&
                    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                        found->second.c_str(), SDDL_REVISION_1,
                        reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.receive()), nullptr))
            << "the row gives no descriptor for " << ascii(path);
        return descriptor;
    }
    doctor::DriveKind driveOf(wchar_t letter) const override {
        return row_.drives.count(letter) ? row_.drives.at(letter) : doctor::DriveKind::Other;
    }

private:
    const LocationRow& row_;
};

TEST(DoctorTrustedLocation, EveryComponentOfWhereTheFileLiesIsJudgedOnAFixedDrive) {
    using doctor::DriveKind;
    const std::map<wchar_t, DriveKind> fixedC = {{L'C', DriveKind::Fixed}};
    const std::wstring eves = L"C:\\Users\\eve\\Quillery\\Quillery.dll";
    const std::map<std::wstring, std::wstring> none, evesOwn = {{eves, kEves}};
    const std::map<wchar_t, DriveKind> mappedM = {{L'M', DriveKind::Other}};
    const std::map<wchar_t, DriveKind> substS = {{L'S', DriveKind::Substituted}, {L'C', DriveKind::Fixed}};
    const std::wstring share = L"\\\\server\\share\\Quillery.dll";
    const LocationRow rows[] = {
        {"installed under Program Files", kDll, kDll, installed(), fixedC, ""},
        {"an ancestor that grants Authenticated Users DELETE", kDll, kDll,
         installed({{L"C:\\Program Files", L"O:BAD:(A;;FA;;;BA)(A;;SD;;;AU)"}}), fixedC,
         "rename or replace the folders on its path at C:\\Program Files"},
        {"a root that grants users FILE_DELETE_CHILD", kDll, kDll,
         installed({{L"C:\\", L"O:SYD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x40;;;BU)"}}), fixedC,
         "rename or replace the folders on its path at C:\\"},
        {"a folder under Program Files that users may add files to", kDll, kDll,
         installed({{kFolder, L"O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)(A;;0x2;;;BU)"}}), fixedC,
         "add files to, rename or replace its folder C:\\Program Files\\Corvane Quillery"},
        {"a file users may write in a sound folder", kDll, kDll,
         installed({{kDll, L"O:BAD:(A;;FA;;;BA)(A;;0x2;;;BU)"}}), fixedC, "may change the file"},
        {"a folder whose files users may delete", kDll, kDll,
         installed({{kFolder, L"O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)(A;;0x40;;;BU)"}}), fixedC,
         "add files to, rename or replace its folder C:\\Program Files\\Corvane Quillery"},
        {"a file users may append to", kDll, kDll, installed({{kDll, L"O:BAD:(A;;FA;;;BA)(A;;0x4;;;BU)"}}),
         fixedC, "may change the file"},
        {"a junction whose target is a user's folder", kDll, eves, evesOwn, fixedC,
         "may change the file (it leads to C:\\Users\\eve\\Quillery\\Quillery.dll)"},
        {"a mapped drive", L"M:\\Quillery.dll", share, none, mappedM,
         "is on M:, which is not a fixed local drive"},
        {"a link to a share", kDll, share, none, fixedC, "which is on no drive of this machine"},
        {"a substituted drive", L"S:\\Quillery.dll", eves, none, substS,
         "is on S:, a drive that stands for a folder"},
    };
    for (const LocationRow& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string why = doctor::whyNotTrustedAt(row.named, row.finalPath, TableFacts(row));
        EXPECT_TRUE(row.why.empty() ? why.empty() : why.find(row.why) != std::string::npos) << why;
    }
}

}  // namespace
