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
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
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

// A host's add-in keys of one row in both hives; whatever keys the prefix had are put aside meanwhile.
class AddInKeys {
public:
    struct Key {
        HKEY root;
        std::string progId;
        std::optional<DWORD> loadBehavior;
    };

    AddInKeys(const wchar_t* host, const std::vector<Key>& keys) {
        const std::wstring addIns = hostsim::addInsKeyPath(*hostsim::hostNamed(host));
        addIns_.assign(addIns.begin(), addIns.end());
        saved_ = addIns_ + " (kept aside by a test)";
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) move(root, addIns_, saved_);
        for (const Key& key : keys) {
            const std::string path = addIns_ + "\\" + key.progId;
            created_.push_back(std::make_unique<fixtures::CreatedKey>(key.root, path));
            fixtures::setString(key.root, path, "FriendlyName", "test " + key.progId);
            if (key.loadBehavior) fixtures::setDword(key.root, path, "LoadBehavior", *key.loadBehavior);
        }
    }
    ~AddInKeys() {
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            fixtures::deleteTree(root, addIns_);
            move(root, saved_, addIns_);
        }
    }

private:
    std::string addIns_;
    std::string saved_;
    // Deleted after the keys put aside are back: whatever parents the row's keys needed go with them.
    std::vector<std::unique_ptr<fixtures::CreatedKey>> created_;

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
         {Kind::CannotCreate},
         8},
        {"a class without the connection interface",
         {{kUser, "TandrelQuillery.SimpleATLAddIn", 3}},
         kFixtureMarkup,
         printer,
         kLimit,
         {"+TandrelQuillery.SimpleATLAddIn"},
         {Kind::CannotCreate},
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

}  // namespace
