// The COM Add-ins dialog as the simulator runs it: the user unticks the add-in and ticks it on again, several
// times in a row, after choosing in its group.
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>
#include <vector>

#include "TandrelLib.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"
#include "tools/hostsim/HostSession.h"
#include "win/ComPtr.h"

namespace {

using hostsim::UserAction;

// Word with the add-in loaded at start-up, the maker's printer, and the user's choices made in the group.
class ReloadCycle : public ::testing::Test {
protected:
    ReloadCycle()
        : addInKey_(HKEY_CURRENT_USER, "Software\\Microsoft\\Office\\Word\\Addins\\TandrelQuillery.Connect") {
        fixtures::setDword(HKEY_CURRENT_USER, addInKey_.path(), "LoadBehavior", 3);
        session_.start();
        session_.perform({UserAction::Kind::Toggle, L"CheckBoxDuplexWordID"});
        session_.perform({UserAction::Kind::Choose, L"DropDownPrintQualityWordID", 2});
    }

    std::string findings() {
        std::wstring all;
        for (const hostsim::Finding& finding : session_.findings()) all += finding.text + L"\n";
        return std::string(all.begin(), all.end());
    }

    const fixtures::InstallationFixture installed_;
    const fixtures::PrinterFixture printer_;
    fixtures::CreatedKey addInKey_;
    hostsim::HostSession session_{*hostsim::hostNamed(L"word"), {}};
};

TEST_F(ReloadCycle, GetsOfficesCallsAndShowsTheUsersChoicesAgainEveryTime) {
    hostsim::AddInSession* addIn = session_.loaded(L"TandrelQuillery.Connect");
    ASSERT_NE(nullptr, addIn) << findings();
    const size_t before = addIn->trace().size();
    for (int cycle = 0; cycle < 3; ++cycle) ASSERT_TRUE(session_.reloadAddIns()) << findings();

    // Ticked off, the add-in is not told that the host shuts down; ticked on, start-up is long over.
    const std::vector<std::wstring> cycle(addIn->trace().begin() + before,
                                          addIn->trace().begin() + before + 7);
    const std::vector<std::wstring> expected = {
        L"OnDisconnection(ext_dm_UserClosed, []) -> S_OK",
        L"CoFreeUnusedLibrariesEx(0, 0)",
        L"CoCreateInstance(\"TandrelQuillery.Connect\") -> S_OK",
        L"OnConnection(Application, ext_cm_AfterStartup, COMAddIn, []) -> S_OK",
        L"OnAddInsUpdate([]) -> S_OK",
        L"GetCustomUI(\"Microsoft.Word.Document\") -> S_OK",
        L"OnLoad(RibbonUI) -> S_OK"};
    EXPECT_EQ(expected, cycle);
    EXPECT_EQ(before + 3 * expected.size(), addIn->trace().size());
    EXPECT_TRUE(addIn->control(L"CheckBoxDuplexWordID")->pressed);
    EXPECT_EQ(2, addIn->control(L"DropDownPrintQualityWordID")->selected);
    session_.shutDown();
    EXPECT_EQ("", findings());
}

TEST_F(ReloadCycle, ReportsALibraryThatALockKeepsLoaded) {
    win::ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, ::CoGetClassObject(CLSID_Connect, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                       factory.receiveVoid()));
    ASSERT_TRUE(session_.reloadAddIns());
    factory.reset();
    session_.shutDown();
    const std::vector<hostsim::Finding> found = session_.findings();
    ASSERT_EQ(1u, found.size()) << findings();
    EXPECT_EQ(hostsim::Finding::Kind::StaysLoaded, found[0].kind) << findings();
}

}  // namespace
