// What the host may do wrong or in an unexpected order: null out-pointers, calls after disconnection, and the
// references and server locks a whole run leaves behind.
#include "TandrelLib.h"
#include "tests/addin/ConnectFixture.h"
#include "win/ComPtr.h"

namespace {

const bool environment = installAddInEnvironment();

class ConnectBoundaryTest : public ConnectFixture {};

TEST_F(ConnectBoundaryTest, EveryGetterRefusesANullOutPointer) {
    connect();
    auto callbacks = win::ComPtr<ISimpleATLAddIn>::queryFrom(host_.addIn(), IID_ISimpleATLAddIn);
    ASSERT_TRUE(callbacks);
    auto* control = new hostsim::RibbonControl(L"DropDownNUpWordID");
    EXPECT_EQ(E_POINTER, callbacks->GetLabel(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetSupertip(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetEnabled(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetVisible(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetItemCount(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetItemID(control, 0, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetItemLabel(control, 0, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetPrintQualitySelectedItemIndex(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetLayoutSelectedItemIndex(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetNUpSelectedItemIndex(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetPagesPerSheetSelectedItemIndex(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetBlackAndWhitePressed(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetDuplexPressed(control, nullptr));
    EXPECT_EQ(E_POINTER, callbacks->GetFitToPagePressed(control, nullptr));
    // A refused count leaves the remembered drop-down alone.
    EXPECT_EQ(L"5", itemId(L"CheckBoxDuplexWordID", 5));
    EXPECT_EQ(1u, control->references());
    control->Release();
}

TEST_F(ConnectBoundaryTest, ActionsAcceptNullStatesAndIds) {
    connect();
    auto callbacks = win::ComPtr<ISimpleATLAddIn>::queryFrom(host_.addIn(), IID_ISimpleATLAddIn);
    auto* control = new hostsim::RibbonControl(L"CheckBoxDuplexWordID");
    EXPECT_EQ(S_OK, callbacks->OnDuplexClicked(control, nullptr));
    EXPECT_EQ(0u, userValue("CheckBoxDuplexWordID").value_or(99)) << "a missing state counts as not pressed";
    EXPECT_EQ(S_OK, callbacks->OnNUpClicked(control, nullptr, 2));
    EXPECT_EQ(2u, userValue("CheckBoxDuplexWordID").value_or(99));
    control->Release();
}

TEST_F(ConnectBoundaryTest, AControlThatCannotTellItsIdWritesNothing) {
    connect();
    auto* control = new hostsim::RibbonControl(L"CheckBoxDuplexWordID");
    control->failId(true);
    EXPECT_EQ(S_OK, host_.toggle(L"OnDuplexClicked", control, VARIANT_TRUE));
    EXPECT_FALSE(userValue("CheckBoxDuplexWordID").has_value());
    std::wstring text = L"(unset)";
    EXPECT_EQ(S_OK, host_.text(L"GetLabel", control, text));
    EXPECT_EQ(L"Label", text) << "the empty id forms the bare key";
    control->Release();
}

TEST_F(ConnectBoundaryTest, AfterDisconnectionTheCallbacksStillAnswer) {
    connect();
    select(L"OnPrintQualityClicked", L"DropDownPrintQualityWordID", 1);
    ASSERT_EQ(S_OK, host_.disconnect());
    EXPECT_EQ(1u, application_->references()) << "disconnection gives the application back";
    EXPECT_EQ(L"Two-sided", label(L"CheckBoxDuplexWordID"));
    EXPECT_EQ(1, selected(L"GetPrintQualitySelectedItemIndex", L"DropDownPrintQualityWordID"));
    host_.release();
    connected_ = false;
    EXPECT_EQ(S_OK, addInCanUnloadNow());
}

TEST_F(ConnectBoundaryTest, TheOtherConnectionCallsChangeNothing) {
    connect();
    auto connection = win::ComPtr<_IDTExtensibility2>::queryFrom(host_.addIn(), IID__IDTExtensibility2);
    ASSERT_TRUE(connection);
    EXPECT_EQ(S_OK, connection->OnAddInsUpdate(nullptr));
    EXPECT_EQ(S_OK, connection->OnStartupComplete(nullptr));
    EXPECT_EQ(S_OK, connection->OnBeginShutdown(nullptr));
    EXPECT_EQ(2u, application_->references()) << "the add-in holds one reference while connected";
}

TEST_F(ConnectBoundaryTest, AWholeRunGivesBackEveryReferenceAndEveryServerLock) {
    connect();
    for (const wchar_t* ribbon : {hostsim::OfficeHost::kWordRibbon, hostsim::OfficeHost::kExcelRibbon})
        ASSERT_TRUE(markupFor(ribbon).has_value());
    label(L"CheckBoxDuplexWordID");
    itemCount(L"DropDownNUpWordID");
    itemLabel(L"DropDownNUpWordID", 1);
    visible(L"DropDownNUpWordID");
    pressed(L"GetDuplexPressed", L"CheckBoxDuplexWordID");
    toggle(L"OnDuplexClicked", L"CheckBoxDuplexWordID", VARIANT_TRUE);
    print();
    EXPECT_EQ(S_FALSE, addInCanUnloadNow()) << "the live add-in object holds a server lock";
    disconnectAndRelease();
    // The fixture's destructor checks the host's objects are back at one reference each.
}

}  // namespace
