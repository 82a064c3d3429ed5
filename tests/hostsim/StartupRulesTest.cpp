// Office's start-up as the simulator runs it, one row per rule of discovery and loading: which add-ins are
// listed and which loaded, and what Office would report. Every row also ends with the reference check.
#include <gtest/gtest.h>
#include <objbase.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/com/AddInEnvironment.h"
#include "tests/support/OfficeMachineState.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/AddInLocation.h"
#include "doctor/DisabledItemRecord.h"
#include "tools/hostsim/HostSession.h"

namespace {

const bool environment = installAddInEnvironment();

using hostsim::Finding;
using Kind = hostsim::Finding::Kind;

constexpr const char* kOurs = "TandrelQuillery.Connect";
constexpr const char* kNoRibbon = "QuilleryTest.NoRibbon";
// {6F0A7E52-8C1B-4A86-9C53-2B7D0E4A1F11}
constexpr CLSID kNoRibbonClass = {
    0x6F0A7E52, 0x8C1B, 0x4A86, {0x9C, 0x53, 0x2B, 0x7D, 0x0E, 0x4A, 0x1F, 0x11}};

// A registry key put aside for the length of a row: whatever the row and the host leave there is deleted, the
// key's former contents come back, and the parents it had to create go again.
class KeptAside {
public:
    KeptAside(HKEY root, const std::string& path)
        : parent_(root, path.substr(0, path.rfind('\\'))),
          root_(root),
          path_(path),
          saved_(path + " (kept aside by a test)") {
        move(root_, path_, saved_);
    }
    ~KeptAside() {
        fixtures::deleteTree(root_, path_);
        move(root_, saved_, path_);
    }
    KeptAside(const KeptAside&) = delete;
    KeptAside& operator=(const KeptAside&) = delete;

private:
    fixtures::CreatedKey parent_;  // the last to go
    HKEY root_;
    std::string path_;
    std::string saved_;

    static void move(HKEY root, const std::string& from, const std::string& to) {
        if (!fixtures::keyExists(root, from)) return;
        HKEY source = nullptr, target = nullptr;
        if (::RegOpenKeyExA(root, from.c_str(), 0, KEY_READ, &source) == ERROR_SUCCESS &&
            ::RegCreateKeyExA(root, to.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &target, nullptr) ==
                ERROR_SUCCESS)
            ::RegCopyTreeA(source, nullptr, target);
        if (source) ::RegCloseKey(source);
        if (target) ::RegCloseKey(target);
        fixtures::deleteTree(root, from);
    }
};

// A host's add-in keys of one row in both hives; whatever keys the prefix had are put aside meanwhile.
class AddInKeys {
public:
    struct Key {
        HKEY root;
        std::string progId;
        std::optional<DWORD> loadBehavior;
    };

    AddInKeys(const wchar_t* host, const std::vector<Key>& keys)
        : addIns_(narrowed(hostsim::addInsKeyPath(*hostsim::hostNamed(host)))),
          machine_(HKEY_LOCAL_MACHINE, addIns_),
          user_(HKEY_CURRENT_USER, addIns_) {
        for (const Key& key : keys) {
            const std::string path = addIns_ + "\\" + key.progId;
            fixtures::CreatedKey(key.root, path).keep();
            fixtures::setString(key.root, path, "FriendlyName", "test " + key.progId);
            if (key.loadBehavior) fixtures::setDword(key.root, path, "LoadBehavior", *key.loadBehavior);
        }
    }

private:
    std::string addIns_;
    KeptAside machine_;
    KeptAside user_;

    static std::string narrowed(const std::wstring& text) { return std::string(text.begin(), text.end()); }
};

// An add-in that connects but offers the ribbon nothing: it answers _IDTExtensibility2 and nothing else.
class ConnectionOnly : public hostsim::CountedDispatch<_IDTExtensibility2> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID__IDTExtensibility2))
            return answer(object);
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE OnConnection(IDispatch*, ext_ConnectMode, IDispatch*, SAFEARRAY**) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode, SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY**) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY**) override { return S_OK; }
};

class ConnectionOnlyFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory) ? this : nullptr;
        return *object ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* made = new ConnectionOnly();
        const HRESULT status = made->QueryInterface(iid, object);
        made->Release();
        return status;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// The stand-in class, creatable by its ProgID in this process for the length of a row.
class ConnectionOnlyClass {
public:
    ConnectionOnlyClass()
        : progIdKey_(HKEY_LOCAL_MACHINE, std::string("Software\\Classes\\") + kNoRibbon + "\\CLSID") {
        wchar_t text[40] = {};
        ::StringFromGUID2(kNoRibbonClass, text, 40);
        fixtures::setString(HKEY_LOCAL_MACHINE, progIdKey_.path(), "", std::string(text, text + 38));
        ::CoRegisterClassObject(kNoRibbonClass, &factory_, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                &cookie_);
    }
    ~ConnectionOnlyClass() { ::CoRevokeClassObject(cookie_); }

private:
    fixtures::CreatedKey progIdKey_;
    ConnectionOnlyFactory factory_;
    DWORD cookie_ = 0;
};

std::string markupWith(const std::string& group) {
    return "<customUI xmlns=\"http://schemas.microsoft.com/office/2006/01/customui\" "
           "onLoad=\"OnLoad\"><ribbon><tabs>"
           "<tab idMso=\"TabHome\">" +
           group + "</tab></tabs></ribbon></customUI>";
}

struct Row {
    const char* name;
    std::vector<AddInKeys::Key> keys;
    std::map<std::string, std::string> wordMarkup;  // markup files replaced for the row
    fixtures::PrinterFixture::Options printer;
    double slowLoadMilliseconds;
    std::vector<std::string> listed;  // ProgIDs, "+" before those loaded
    std::vector<Kind> findings;
    size_t controlsShown;
};

const HKEY kMachine = HKEY_LOCAL_MACHINE;
const HKEY kUser = HKEY_CURRENT_USER;
constexpr double kLimit = 1000;
const std::map<std::string, std::string> kFixtureMarkup;

std::vector<Row> rows() {
    const fixtures::PrinterFixture::Options printer;
    return {
        {"machine key, load at start-up",
         {{kMachine, kOurs, 3}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"+TandrelQuillery.Connect"},
         {},
         8},
        {"user key, load at start-up",
         {{kUser, kOurs, 3}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"+TandrelQuillery.Connect"},
         {},
         8},
        {"unloaded, do not load",
         {{kMachine, kOurs, 0}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"TandrelQuillery.Connect"},
         {},
         0},
        {"loaded, do not load",
         {{kMachine, kOurs, 1}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"TandrelQuillery.Connect"},
         {},
         0},
        {"unloaded, load at start-up",
         {{kMachine, kOurs, 2}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"TandrelQuillery.Connect"},
         {},
         0},
        {"load on demand",
         {{kUser, kOurs, 9}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"TandrelQuillery.Connect"},
         {},
         0},
        {"first time, then on demand",
         {{kUser, kOurs, 16}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"TandrelQuillery.Connect"},
         {},
         0},
        {"no LoadBehavior value",
         {{kMachine, kOurs, std::nullopt}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"TandrelQuillery.Connect"},
         {},
         0},
        {"the user's key turns the machine's off",
         {{kMachine, kOurs, 3}, {kUser, kOurs, 2}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"TandrelQuillery.Connect"},
         {},
         0},
        {"the user's key turns the machine's on",
         {{kMachine, kOurs, 0}, {kUser, "tandrelquillery.connect", 3}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"+tandrelquillery.connect"},
         {},
         8},
        {"a ProgID that is not registered beside ours",
         {{kMachine, "Quillery.Missing", 3}, {kMachine, kOurs, 3}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"+Quillery.Missing", "+TandrelQuillery.Connect"},
         {Kind::CannotCreate, Kind::Disabled},
         8},
        {"a class without the connection interface",
         {{kUser, "TandrelQuillery.SimpleATLAddIn", 3}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"+TandrelQuillery.SimpleATLAddIn"},
         {Kind::CannotCreate, Kind::Disabled},
         0},
        {"an add-in without IRibbonExtensibility",
         {{kUser, kNoRibbon, 3}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"+QuilleryTest.NoRibbon"},
         {Kind::NoRibbon},
         0},
        {"no default printer: no markup",
         {{kMachine, kOurs, 3}},
         kFixtureMarkup,
         fixtures::PrinterFixture::noDefaultPrinter(),
         kLimit,
         {"+TandrelQuillery.Connect"},
         {Kind::NoMarkup},
         0},
        {"markup that is not well formed",
         {{kMachine, kOurs, 3}},
         {{"XMLWordLarge", "<customUI><ribbon>"}},
         printer,
         kLimit,
         {"+TandrelQuillery.Connect"},
         {Kind::Malformed},
         0},
        {"a callback the add-in does not know",
         {{kMachine, kOurs, 3}},
         {{"XMLWordLarge", markupWith("<group id=\"G\" getLabel=\"GetColour\"><button id=\"B\" "
                                      "getLabel=\"GetLabel\" onAction=\"OnPrintClicked\"/></group>")}},
         printer,
         kLimit,
         {"+TandrelQuillery.Connect"},
         {Kind::UnknownCallback},
         2},
        {"one id for two controls",
         {{kMachine, kOurs, 3}},
         {{"XMLWordLarge",
           markupWith(
               "<group id=\"G\"><button id=\"B\" label=\"1\"/><button id=\"B\" label=\"2\"/></group>")}},
         printer,
         kLimit,
         {"+TandrelQuillery.Connect"},
         {Kind::DuplicateId},
         0},
        {"a load over the resiliency limit",
         {{kMachine, kOurs, 3}},
         kFixtureMarkup,
         printer,
         0,
         {"+TandrelQuillery.Connect"},
         {Kind::SlowLoad},
         8},
    };
}

std::wstring widened(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

TEST(StartupRules, EachRowListsLoadsAndReportsAsOfficeWouldAndGivesEveryObjectBack) {
    const auto& word = *hostsim::hostNamed(L"word");
    for (const Row& row : rows()) {
        SCOPED_TRACE(row.name);
        fixtures::InstallationFixture::Options installation;
        installation.contents = row.wordMarkup;
        const fixtures::InstallationFixture installed(installation);
        const fixtures::PrinterFixture printer(row.printer);
        const AddInKeys keys(L"word", row.keys);
        const ConnectionOnlyClass connectionOnly;

        hostsim::HostSession::Options options;
        options.addIn.slowLoadMilliseconds = row.slowLoadMilliseconds;
        hostsim::HostSession session(word, options);
        session.start();
        std::vector<std::string> listed;
        size_t shown = 0;
        for (const auto& entry : session.addIns()) {
            listed.push_back((entry.session ? "+" : "") +
                             std::string(entry.key.progId.begin(), entry.key.progId.end()));
            if (entry.session) shown += entry.session->controls().size();
        }
        EXPECT_EQ(row.listed, listed);
        EXPECT_EQ(row.controlsShown, shown);
        session.shutDown();

        std::vector<Kind> kinds;
        std::wstring texts;
        for (const Finding& finding : session.findings()) {
            kinds.push_back(finding.kind);
            texts += finding.text + L"\n";
        }
        EXPECT_EQ(row.findings, kinds) << std::string(texts.begin(), texts.end());
    }
}

TEST(StartupRules, TheHostCallsTheAddInInOfficesOrderAndOperatesTheGroup) {
    const fixtures::InstallationFixture installed;
    const fixtures::PrinterFixture printer;
    const AddInKeys keys(L"excel", {{kMachine, kOurs, 3}});
    hostsim::HostSession session(*hostsim::hostNamed(L"excel"), {});
    session.start();
    hostsim::AddInSession* addIn = session.loaded(widened(kOurs));
    ASSERT_NE(nullptr, addIn);
    const std::vector<std::wstring> startup = addIn->trace();
    // The box shows the state stored for the user; the click gives the other.
    const hostsim::ShownControl* box = addIn->control(L"CheckBoxBlackAndWhiteExcelID");
    ASSERT_NE(nullptr, box);
    const std::wstring toggledTo = box->pressed ? L"false" : L"true";
    EXPECT_TRUE(session.perform({hostsim::UserAction::Kind::Choose, L"DropDownPrintQualityExcelID", 2}));
    EXPECT_TRUE(session.perform({hostsim::UserAction::Kind::Toggle, L"CheckBoxBlackAndWhiteExcelID"}));
    EXPECT_FALSE(session.perform({hostsim::UserAction::Kind::Choose, L"DropDownPrintQualityExcelID", 99}));
    EXPECT_FALSE(session.perform({hostsim::UserAction::Kind::Press, L"NoSuchControlID"}));
    session.shutDown();

    const std::vector<std::wstring> expected = {
        L"CoCreateInstance(\"TandrelQuillery.Connect\") -> S_OK",
        L"OnConnection(Application, ext_cm_Startup, COMAddIn, []) -> S_OK",
        L"OnAddInsUpdate([]) -> S_OK",
        L"OnStartupComplete([]) -> S_OK",
        L"GetCustomUI(\"Microsoft.Excel.Workbook\") -> S_OK",
        L"OnLoad(RibbonUI) -> S_OK",
    };
    EXPECT_EQ(expected, startup);
    const std::vector<std::wstring> after(addIn->trace().begin() + static_cast<long>(startup.size()),
                                          addIn->trace().end());
    const std::vector<std::wstring> expectedAfter = {
        L"OnPrintQualityClicked(DropDownPrintQualityExcelID, \"DropDownPrintQualityExcelID2\", 2) -> S_OK",
        L"OnBlackAndWhiteClicked(CheckBoxBlackAndWhiteExcelID, " + toggledTo + L") -> S_OK",
        L"(DropDownPrintQualityExcelID has no item 99)",
        L"OnBeginShutdown([]) -> S_OK",
        L"OnDisconnection(ext_dm_HostShutdown, []) -> S_OK",
    };
    EXPECT_EQ(expectedAfter, after);
    EXPECT_TRUE(session.findings().empty());
}

// Office's rules for loading, one machine state per row: where Office keeps the user's resiliency lists and
// the administrators' policies, written out as Office's documentation and policy templates name them.
const std::string kResiliency = "Software\\Microsoft\\Office\\16.0\\Word\\Resiliency";
const std::string kDisabledItems = kResiliency + "\\DisabledItems";
const std::string kDoNotDisable = kResiliency + "\\DoNotDisableAddinList";
const std::string kPolicies = "Software\\Policies\\Microsoft\\Office\\16.0\\Word";
const std::string kManagedList = kPolicies + "\\Resiliency\\AddinList";
const std::string kPolicyResiliency = kPolicies + "\\Resiliency";
const std::string kPolicySecurity = kPolicies + "\\Security";
const std::string kUserAddIns = "Software\\Microsoft\\Office\\Word\\Addins";

using machine_state::dword;
using machine_state::text;
using machine_state::Value;

Value disabledItem(const std::string& valueName, const std::wstring& path, const std::wstring& friendlyName) {
    return machine_state::disabledItem(kDisabledItems, valueName, path, friendlyName);
}

// A value the host must have left after its start (nothing: it must be absent).
struct After {
    HKEY root;
    std::string path;
    std::string name;
    std::optional<DWORD> value;
};

struct ExpectedFinding {
    Kind kind;
    std::string fragment;  // words its text must contain
};

// One machine state, built up by name, and what the host must do in it: load our add-in (its group shows) or
// not, report exactly these findings, and leave these values.
struct RuleRow {
    explicit RuleRow(const char* rowName) : name(rowName) {}
    RuleRow& with(std::vector<Value> values) {
        state.insert(state.end(), values.begin(), values.end());
        return *this;
    }
    RuleRow& keysOf(std::vector<AddInKeys::Key> addInKeys) {
        keys = std::move(addInKeys);
        return *this;
    }
    RuleRow& signedAs(hostsim::Signature::Verdict verdict) {
        standIn = verdict;
        return *this;
    }
    RuleRow& slowAndDisabling() {
        slowLoadMilliseconds = 0;
        disableSlow = true;
        return *this;
    }
    RuleRow& loads(std::vector<ExpectedFinding> expected = {}) {
        loaded = true;
        findings = std::move(expected);
        return *this;
    }
    RuleRow& refused(const std::string& fragment) {
        loaded = false;
        findings = {{Kind::Refused, fragment}};
        return *this;
    }
    RuleRow& notLoaded() {
        loaded = false;
        findings.clear();
        return *this;
    }
    RuleRow& leaves(std::vector<After> values, std::optional<size_t> records = std::nullopt) {
        after = std::move(values);
        disabledItemsAfter = records;
        return *this;
    }

    const char* name;
    std::vector<AddInKeys::Key> keys = {{kMachine, kOurs, 3}};
    std::vector<Value> state;
    std::optional<hostsim::Signature::Verdict> standIn;  // none: the platform verifies the DLL
    double slowLoadMilliseconds = kLimit;
    bool disableSlow = false;
    bool loaded = true;
    std::vector<ExpectedFinding> findings;
    std::vector<After> after;
    std::optional<size_t> disabledItemsAfter;
};

std::vector<RuleRow> ruleRows() {
    using Verdict = hostsim::Signature::Verdict;
    const std::wstring ours = hostsim::addInBesideProgram();
    const std::string oursKey = kUserAddIns + "\\" + kOurs;
    const std::string missingKey = kUserAddIns + "\\Quillery.Missing";
    return {
        RuleRow("no rule applies").loads().leaves({{kUser, oursKey, "LoadBehavior", std::nullopt}}, 0),
        RuleRow("Disabled Items names our DLL, in lower case")
            .with({disabledItem("5C1E0A7B", ours, L"Quillery")})
            .refused("is in Word's Disabled Items"),
        RuleRow("Disabled Items names another DLL only")
            .with({disabledItem("0F0F0F0F", L"C:\\Program Files\\Other\\Other.dll", L"Other")})
            .loads(),
        RuleRow("Disabled Items values that do not parse")
            .with({{kUser, kDisabledItems, "short", REG_BINARY, {1, 0, 0, 0, 4}},
                   text(kUser, kDisabledItems, "text", "not a record")})
            .loads(
                {{Kind::UnreadableItem, "value \"short\") cannot be read: shorter than its 12-byte header"},
                 {Kind::UnreadableItem, "value \"text\") cannot be read: it is not binary"}}),
        RuleRow("managed list: always disabled")
            .with({text(kUser, kManagedList, kOurs, "0")})
            .refused("always disabled (blocked) by the administrator's \"List of managed add-ins\""),
        RuleRow("managed list: always enabled, over the user's LoadBehavior 2 and Disabled Items")
            .keysOf({{kMachine, kOurs, 3}, {kUser, kOurs, 2}})
            .with({text(kUser, kManagedList, kOurs, "1"), disabledItem("5C1E0A7B", ours, L"Quillery")})
            .loads(),
        RuleRow("managed list: the user decides, and the user's LoadBehavior is 2")
            .keysOf({{kMachine, kOurs, 3}, {kUser, kOurs, 2}})
            .with({text(kUser, kManagedList, kOurs, "2")})
            .notLoaded(),
        RuleRow("unmanaged add-ins blocked, ours listed for the user to decide")
            .with(
                {text(kUser, kManagedList, kOurs, "2"), dword(kUser, kPolicyResiliency, "RestrictToList", 1)})
            .loads(),
        RuleRow("unmanaged add-ins blocked, ours not listed")
            .with({text(kUser, kManagedList, "Other.Connect", "1"),
                   dword(kUser, kPolicyResiliency, "RestrictToList", 1)})
            .refused("is not in the administrator's \"List of managed add-ins\", and \"Block all unmanaged "
                     "add-ins\" is set (HKCU\\"),
        RuleRow("unmanaged add-ins blocked by the machine's policy")
            .with({dword(kMachine, kPolicyResiliency, "RestrictToList", 1)})
            .refused("\"Block all unmanaged add-ins\" is set (HKLM\\"),
        RuleRow("the machine's list says off, the user's on: the machine wins")
            .with({text(kMachine, kManagedList, kOurs, "0"), text(kUser, kManagedList, kOurs, "1")})
            .refused("(HKLM\\Software\\Policies\\Microsoft\\Office\\16.0\\Word\\Resiliency\\AddinList\\"
                     "TandrelQuillery.Connect = \"0\")"),
        RuleRow("the machine's list says on, the user's off: the machine wins")
            .with({text(kMachine, kManagedList, kOurs, "1"), text(kUser, kManagedList, kOurs, "0")})
            .loads(),
        RuleRow("all application add-ins disabled")
            .with({dword(kUser, kPolicySecurity, "DisableAllAddins", 1)})
            .refused("\"Disable all application add-ins\" is set for Word by policy"),
        RuleRow("all application add-ins disabled, over the managed list's always enabled")
            .with(
                {dword(kUser, kPolicySecurity, "DisableAllAddins", 1), text(kUser, kManagedList, kOurs, "1")})
            .refused("\"Disable all application add-ins\""),
        // The build signs the DLL with its throwaway certificate, which no Trusted Publishers store holds.
        RuleRow("signature required: the build's DLL, verified by the platform")
            .with({dword(kUser, kPolicySecurity, "RequireAddinSig", 1)})
            .refused("Message bar: SECURITY WARNING The add-in \"test TandrelQuillery.Connect\" "
                     "(TandrelQuillery.Connect) has been disabled: it is signed by \"Corvane Quillery Test "
                     "Signing\", who is not a trusted publisher"),
        RuleRow("signature required, no message bar for unsigned add-ins")
            .with({dword(kUser, kPolicySecurity, "RequireAddinSig", 1),
                   dword(kUser, kPolicySecurity, "NoTBPromptUnsignedAddin", 1)})
            .refused("Not loaded, and no message bar says so"),
        RuleRow("signature required, signed by a trusted publisher")
            .with({dword(kUser, kPolicySecurity, "RequireAddinSig", 1)})
            .signedAs(Verdict::Trusted)
            .loads(),
        RuleRow("signature required, signed by a publisher not trusted")
            .with({dword(kUser, kPolicySecurity, "RequireAddinSig", 1)})
            .signedAs(Verdict::Untrusted)
            .refused("it is signed by \"Tandrel Test Publisher\", who is not a trusted publisher"),
        RuleRow("signature required, the DLL changed after signing")
            .with({dword(kMachine, kPolicySecurity, "RequireAddinSig", 1)})
            .signedAs(Verdict::Altered)
            .refused("the file was changed after it was signed"),
        RuleRow("signature policy off: an unsigned DLL loads")
            .with({dword(kUser, kPolicySecurity, "RequireAddinSig", 0)})
            .signedAs(Verdict::Unsigned)
            .loads(),
        RuleRow("a failing add-in is soft-disabled in the user's own key, a working one is not")
            .keysOf({{kMachine, "Quillery.Missing", 3}, {kMachine, kOurs, 3}})
            .loads({{Kind::CannotCreate, "the ProgID is not registered"},
                    {Kind::Disabled,
                     "set LoadBehavior to 2 in HKCU\\Software\\Microsoft\\Office\\Word\\Addins\\"
                     "Quillery.Missing"}})
            .leaves({{kUser, missingKey, "LoadBehavior", 2}, {kUser, oursKey, "LoadBehavior", std::nullopt}}),
        RuleRow("a failing add-in the administrators keep on is not soft-disabled")
            .keysOf({{kMachine, "Quillery.Missing", 3}, {kMachine, kOurs, 3}})
            .with({text(kUser, kManagedList, "Quillery.Missing", "1")})
            .loads({{Kind::CannotCreate, "the ProgID is not registered"}})
            .leaves({{kUser, missingKey, "LoadBehavior", std::nullopt}}),
        RuleRow("a slow start-up puts the add-in on Disabled Items")
            .slowAndDisabling()
            .loads({{Kind::SlowLoad, "started slowly"}, {Kind::Disabled, "because it started slowly"}})
            .leaves({}, 1),
        RuleRow("a slow start-up of an add-in the user always enables")
            .slowAndDisabling()
            .with({dword(kUser, kDoNotDisable, kOurs, 1)})
            .loads({{Kind::SlowLoad, "started slowly"}})
            .leaves({}, 0),
    };
}

size_t valueCount(HKEY root, const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD values = 0;
    ::RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                       nullptr, nullptr);
    ::RegCloseKey(key);
    return values;
}

std::string narrowed(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST(StartupRules, OfficesRulesDecideWhetherTheAddInLoadsAndSayWhyNotInOfficesWords) {
    const auto& word = *hostsim::hostNamed(L"word");
    // Where the rows write and the host writes, as the prefix had it before.
    const std::vector<std::pair<HKEY, std::string>> watched = {
        {kUser, "Software\\Microsoft\\Office"},
        {kUser, "Software\\Policies\\Microsoft\\Office"},
        {kMachine, "Software\\Policies\\Microsoft\\Office"},
    };
    std::vector<bool> existedBefore;
    for (const auto& [root, path] : watched) existedBefore.push_back(fixtures::keyExists(root, path));

    for (const RuleRow& row : ruleRows()) {
        SCOPED_TRACE(row.name);
        {
            const fixtures::InstallationFixture installed;
            const fixtures::PrinterFixture printer;
            const AddInKeys keys(L"word", row.keys);
            const KeptAside resiliency(kUser, kResiliency);
            const KeptAside userPolicies(kUser, kPolicies);
            const KeptAside machinePolicies(kMachine, kPolicies);
            for (const Value& value : row.state) value.write();

            hostsim::HostSession::Options options;
            options.addIn.slowLoadMilliseconds = row.slowLoadMilliseconds;
            options.disableSlowAddIns = row.disableSlow;
            std::wstring askedAbout;
            if (row.standIn) {
                const hostsim::Signature::Verdict verdict = *row.standIn;
                options.signatureCheck = [verdict, &askedAbout](const std::wstring& dllPath) {
                    askedAbout = dllPath;
                    return hostsim::Signature{verdict, L"Tandrel Test Publisher"};
                };
            }
            hostsim::HostSession session(word, options);
            session.start();
            const hostsim::AddInSession* ours = session.loaded(widened(kOurs));
            EXPECT_EQ(row.loaded, ours != nullptr && !ours->controls().empty());
            session.shutDown();

            const std::vector<Finding> findings = session.findings();
            std::string texts;
            for (const Finding& finding : findings) texts += narrowed(finding.text) + "\n";
            EXPECT_EQ(row.findings.size(), findings.size()) << texts;
            for (size_t index = 0; index < findings.size() && index < row.findings.size(); ++index) {
                EXPECT_EQ(row.findings[index].kind, findings[index].kind) << texts;
                EXPECT_NE(std::string::npos,
                          narrowed(findings[index].text).find(row.findings[index].fragment))
                    << "expected \"" << row.findings[index].fragment << "\" in:\n"
                    << texts;
            }
            if (!askedAbout.empty()) {
                EXPECT_EQ(0, _wcsicmp(hostsim::addInBesideProgram().c_str(), askedAbout.c_str()))
                    << narrowed(askedAbout);
            }
            for (const After& after : row.after) {
                EXPECT_EQ(after.value, fixtures::dwordOf(after.root, after.path, after.name))
                    << after.path << "\\" << after.name;
            }
            if (row.disabledItemsAfter) {
                EXPECT_EQ(*row.disabledItemsAfter, valueCount(kUser, kDisabledItems));
            }
        }
        for (size_t index = 0; index < watched.size(); ++index)
            EXPECT_EQ(existedBefore[index], fixtures::keyExists(watched[index].first, watched[index].second))
                << watched[index].second << " after the row";
    }
}

}  // namespace
