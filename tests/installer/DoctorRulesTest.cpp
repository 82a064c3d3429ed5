// Office's own rules on the same machine, read twice: the doctor's verdict (another process, its own reading)
// and the host simulator's start-up (in this process) must agree on whether Word shows the group. Each row
// then runs --repair as the user runs it, without elevation: the rows a user can repair come back, importing
// the restore file brings the previous state back exactly and nothing else, and the rest is left alone.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "tests/installer/DoctorRun.h"
#include "tests/support/OfficeMachineState.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/HostSession.h"

namespace {

using fixtures::InstallationFixture;
using fixtures::PrinterFixture;

const std::string kConnectClass = "Software\\Classes\\CLSID\\{A9F2F60F-41DD-495C-8BCE-03DC35A2850C}";
const std::string kUserAddIn = "Software\\Microsoft\\Office\\Word\\Addins\\TandrelQuillery.Connect";
const std::string kResiliency = "Software\\Microsoft\\Office\\16.0\\Word\\Resiliency";
const std::string kDisabledItems = kResiliency + "\\DisabledItems";
const std::string kPolicies = "Software\\Policies\\Microsoft\\Office\\16.0\\Word";
const std::string kManagedList = kPolicies + "\\Resiliency\\AddinList";
const std::string kPolicyResiliency = kPolicies + "\\Resiliency";
const std::string kPolicySecurity = kPolicies + "\\Security";
constexpr const char* kOurs = "TandrelQuillery.Connect";
constexpr const char* kOurRecord = "5C1E0A7B";
// Names a user may give a record (the record only has to name the DLL): a registry file must carry them back
// exactly, or leave them alone when it cannot.
constexpr const char* kEscapedName = "back\\slash \"quoted\" [HKEY_LOCAL_MACHINE\\Software\\QuilleryPlanted]";
constexpr const char* kLineBreakName = "x\r\n[HKEY_LOCAL_MACHINE\\Software\\QuilleryPlanted]\r\n\"y\"=\"z\"";
constexpr const char* kOtherBitnessRecord = "6D2F1B8C";
const std::vector<std::string> kRepairable = {"LoadBehavior", kOurRecord, kEscapedName, kOtherBitnessRecord};

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

// The add-in DLL the row registers: the installed copy of the build's own (signed with its throwaway
// certificate), or a copy beside it.
enum class Dll { Built, Altered, Unsigned };

std::wstring installedDll(Bits bits) {
    return programFiles(bits) + L"\\Corvane Quillery Test\\Quillery.dll";
}

// The copy beside the installed DLL, registered in its place for the row.
class DllCopy {
public:
    explicit DllCopy(Dll kind) {
        if (kind == Dll::Built) return;
        std::vector<BYTE> bytes = readAll(ascii(besideProgram(L"Quillery.dll")));
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
        const std::wstring installed = installedDll(Bits::This);
        path_ = ascii(installed.substr(0, installed.find_last_of(L'\\') + 1) +
                      (kind == Dll::Altered ? L"QuilleryAltered.dll" : L"QuilleryUnsigned.dll"));
        if (std::FILE* file = std::fopen(path_.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fclose(file);
        }
        fixtures::setString(HKEY_LOCAL_MACHINE, kConnectClass + "\\InprocServer32", "", path_);
    }
    ~DllCopy() {
        if (path_.empty()) return;
        ::CoFreeUnusedLibrariesEx(0, 0);
        ::DeleteFileA(path_.c_str());
    }
    DllCopy(const DllCopy&) = delete;
    DllCopy& operator=(const DllCopy&) = delete;

private:
    std::string path_;

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

// The machine's class registration in the other registry view, naming the other bitness's installed DLL, as
// its package leaves it (the file itself is not needed: a Disabled Items record only names it).
class OtherBitnessClass {
public:
    OtherBitnessClass()
        : progId_(HKEY_LOCAL_MACHINE, "Software\\Classes\\TandrelQuillery.Connect\\CLSID", fixtures::otherView()),
          server_(HKEY_LOCAL_MACHINE, kConnectClass + "\\InprocServer32", fixtures::otherView()) {
        fixtures::setString(HKEY_LOCAL_MACHINE, "Software\\Classes\\TandrelQuillery.Connect\\CLSID", "",
                            "{A9F2F60F-41DD-495C-8BCE-03DC35A2850C}", fixtures::otherView());
        fixtures::setString(HKEY_LOCAL_MACHINE, kConnectClass + "\\InprocServer32", "",
                            ascii(installedDll(Bits::Other)), fixtures::otherView());
    }

private:
    fixtures::CreatedKey progId_, server_;
};

struct RuleRow {
    const char* name;
    std::vector<Value> state;
    Dll dll;
    bool shows;             // Word shows the group
    const char* rulesSay;   // words of the doctor's line on Word's rules
    const char* signature;  // words of its line on the DLL's signature, or empty
    size_t repairs;         // the changes --repair makes
    bool otherBitness = false;  // the machine registers the other bitness's add-in too
    bool hiddenAfterRepair = false;  // a record the repair must leave keeps Word from loading it
};

std::vector<RuleRow> ruleRows() {
    const HKEY user = HKEY_CURRENT_USER, machine = HKEY_LOCAL_MACHINE;
    const std::wstring ours = installedDll(Bits::This);
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
         "signed by \"Corvane Quillery Test Signing\"",
         0},
        {"the user's LoadBehavior 2", {userDisabled}, Dll::Built, false, nothing, "", 1},
        {"Disabled Items: our file and another's",
         {otherRecord, ourRecord},
         Dll::Built,
         false,
         "Disabled Items name it (value \"5C1E0A7B\"",
         "",
         1},
        {"Disabled Items: another file only", {otherRecord}, Dll::Built, true, nothing, "", 0},
        {"Disabled Items: records that do not parse",
         {{user, kDisabledItems, "short", REG_BINARY, {1, 0, 0, 0, 4}},
          text(user, kDisabledItems, "text", "not a record")},
         Dll::Built,
         true,
         "value \"short\": shorter than its 12-byte header (5 bytes); value \"text\": it is not "
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
         "Test Signing\", who is not a trusted publisher; a message bar says it was disabled",
         "",
         0},
        {"RequireAddinSig without a message bar, a DLL changed after signing",
         {requireSignature, dword(user, kPolicySecurity, "NoTBPromptUnsignedAddin", 1)},
         Dll::Altered,
         false,
         "it was changed after it was signed; no message bar says so",
         "Test Signing\"; does not verify (0x80096010)",  // a broken signature's time stamp is not shown
         0},
        {"RequireAddinSig, an unsigned DLL",
         {requireSignature},
         Dll::Unsigned,
         false,
         "and it is not signed",
         "QuilleryUnsigned.dll: not signed",
         0},
        {"an unsigned DLL without the signature policy", {}, Dll::Unsigned, true, nothing, "", 0},
        {"Disabled Items: hostile names, one with line breaks",
         {disabledItem(kEscapedName, ours, L"Quillery"), disabledItem(kLineBreakName, ours, L"Quillery")},
         Dll::Built,
         false,
         "Disabled Items name it",
         "",
         1,
         false,
         true},
        // The 64-bit doctor repairs what 32-bit Office did, and the other way round.
        {"the other bitness's Office disabled its own DLL",
         {disabledItem(kOtherBitnessRecord, installedDll(Bits::Other), L"Quillery")},
         Dll::Built,
         true,
         nothing,
         "",
         1,
         true},
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
            InstalledAddIn registration;
            ASSERT_TRUE(registration.ok());
            OfficeAddInKeys office;
            const InstallationFixture installation(installationOptions);
            const PrinterFixture printer;
            const DllCopy copy(row.dll);
            std::optional<OtherBitnessClass> otherBitness;
            if (row.otherBitness) otherBitness.emplace();
            for (const Value& value : row.state) value.write();

            const bool simulatorShows = simulatorShowsWord();
            EXPECT_EQ(row.shows, simulatorShows);
            const DoctorRun before = runDoctor();
            EXPECT_EQ(simulatorShows, before.wordShows()) << before.output;
            EXPECT_NE(std::string::npos, before.link("rules.word").find(row.rulesSay))
                << before.link("rules.word");
            EXPECT_NE(std::string::npos, before.link("class.signature").find(row.signature))
                << before.link("class.signature");

            std::vector<std::optional<std::pair<DWORD, std::vector<BYTE>>>> previous;
            for (const Value& value : row.state) previous.push_back(valueNow(value));
            ::DeleteFileW(restoreFile.c_str());
            const DoctorRun repaired =
                runDoctor(L"--json --repair --restore-file \"" + restoreFile + L"\"", Rights::Limited);
            EXPECT_EQ(row.repairs, repaired.changesDone()) << repaired.output;
            const bool restoreWritten = ::GetFileAttributesW(restoreFile.c_str()) != INVALID_FILE_ATTRIBUTES;
            EXPECT_EQ(row.repairs > 0, restoreWritten);
            // Whatever a user may not repair stays as it was: policies, other add-ins' records, and records
            // whose names a registry file could not carry back.
            for (size_t index = 0; index < row.state.size(); ++index) {
                const Value& value = row.state[index];
                if (std::find(kRepairable.begin(), kRepairable.end(), value.name) == kRepairable.end()) {
                    EXPECT_EQ(previous[index], valueNow(value)) << value.path << "\\" << value.name;
                }
            }
            if (row.repairs > 0) {
                EXPECT_EQ(!row.hiddenAfterRepair, simulatorShowsWord());
                EXPECT_EQ(!row.hiddenAfterRepair, repaired.wordShows()) << repaired.output;
                EXPECT_NE(std::string::npos, repaired.output.find("quillery-restore-test.reg"))
                    << repaired.output;
                EXPECT_EQ(0u, importRegistryFile(restoreFile));
                for (size_t index = 0; index < row.state.size(); ++index)
                    EXPECT_EQ(previous[index], valueNow(row.state[index]))
                        << row.state[index].path << "\\" << row.state[index].name << " after the import";
                EXPECT_FALSE(fixtures::keyExists(HKEY_LOCAL_MACHINE, "Software\\QuilleryPlanted"))
                    << "the restore file wrote a key of its own";
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
