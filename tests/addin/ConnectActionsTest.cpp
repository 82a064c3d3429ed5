// Choices and toggles: stored for the user and carried into the options that Print hands to the driver.
#include "tests/addin/ConnectFixture.h"

namespace {

const bool environment = installAddInEnvironment();

using fixtures::PrinterFixture;

class ConnectActionsTest : public ConnectFixture {};

TEST_F(ConnectActionsTest, ChoosingAnItemStoresItsIndexAndSetsTheOption) {
    connect();
    const struct {
        LONG index;
        DWORD code;
    } qualities[] = {{1, 1}, {0, 2}, {2, 3}};
    for (const auto& entry : qualities) {
        EXPECT_EQ(S_OK, select(L"OnPrintQualityClicked", L"DropDownPrintQualityPowerPointID", entry.index));
        EXPECT_EQ(static_cast<DWORD>(entry.index),
                  userValue("DropDownPrintQualityPowerPointID").value_or(99));
        print();
        EXPECT_EQ(entry.code, driverValue("OncePrintQuality").value_or(99)) << "item " << entry.index;
    }
    EXPECT_EQ(S_OK, select(L"OnNUpClicked", L"DropDownNUpPowerPointID", 4));
    print();
    EXPECT_EQ(8u, driverValue("OnceNUp").value_or(99));
    EXPECT_EQ(S_OK, select(L"OnLayoutClicked", L"DropDownLayoutPowerPointID", 2));
    EXPECT_EQ(2u, userValue("DropDownLayoutPowerPointID").value_or(99));
    EXPECT_EQ(S_OK, select(L"OnPagesPerSheetClicked", L"DropDownPagesPerSheetWordID", 3));
    EXPECT_EQ(3u, userValue("DropDownPagesPerSheetWordID").value_or(99));
}

TEST_F(ConnectActionsTest, TogglingStoresTheStateSignExtendedAndSetsTheOption) {
    connect();
    EXPECT_EQ(S_OK, toggle(L"OnDuplexClicked", L"CheckBoxDuplexExcelID", VARIANT_TRUE));
    EXPECT_EQ(0xFFFFFFFFu, userValue("CheckBoxDuplexExcelID").value_or(99));
    EXPECT_EQ(S_OK, toggle(L"OnBlackAndWhiteClicked", L"CheckBoxBlackAndWhiteExcelID", VARIANT_TRUE));
    print();
    EXPECT_EQ(2u, driverValue("OnceDuplex").value_or(99));
    EXPECT_EQ(2u, driverValue("OnceBlackAndWhite").value_or(99));

    // Anything but all sixteen bits set is not pressed.
    EXPECT_EQ(S_OK, toggle(L"OnDuplexClicked", L"CheckBoxDuplexExcelID", 1));
    EXPECT_EQ(1u, userValue("CheckBoxDuplexExcelID").value_or(99));
    print();
    EXPECT_EQ(1u, driverValue("OnceDuplex").value_or(99));
}

TEST_F(ConnectActionsTest, TurningFitToPageOnKeepsTheChosenNUpUntilTheRibbonAsksAgain) {
    connect();
    select(L"OnNUpClicked", L"DropDownNUpExcelID", 1);
    EXPECT_EQ(S_OK, toggle(L"OnFitToPageClicked", L"CheckBoxFitToPageExcelID", VARIANT_TRUE));
    EXPECT_EQ(0xFFFFFFFFu, userValue("CheckBoxFitToPageExcelID").value_or(99));
    print();
    EXPECT_EQ(2u, driverValue("OnceNUp").value_or(99));
    EXPECT_EQ(0, selected(L"GetNUpSelectedItemIndex", L"DropDownNUpExcelID"));
    print();
    EXPECT_EQ(1u, driverValue("OnceNUp").value_or(99));
}

TEST_F(ConnectActionsTest, WithoutThePerUserKeyChoicesChangeTheOptionButAreNotKept) {
    fixtures::InstallationFixture::Options installation;
    installation.userKey = false;
    connect(PrinterFixture::Options(), installation);
    EXPECT_EQ(S_OK, select(L"OnPrintQualityClicked", L"DropDownPrintQualityWordID", 2));
    EXPECT_FALSE(userValue("DropDownPrintQualityWordID").has_value());
    print();
    EXPECT_EQ(3u, driverValue("OncePrintQuality").value_or(99));
}

TEST_F(ConnectActionsTest, PrintWritesOnlyTheValuesTheDriverTakes) {
    connect(PrinterFixture::makers({{PrinterFixture::kOnceNUp, 0}}));
    select(L"OnNUpClicked", L"DropDownNUpWordID", 2);
    toggle(L"OnDuplexClicked", L"CheckBoxDuplexWordID", VARIANT_TRUE);
    print();
    EXPECT_EQ(3u, driverValue("OnceNUp").value_or(99));
    EXPECT_FALSE(driverValue("OnceDuplex").has_value());
    EXPECT_FALSE(driverValue("OnceBlackAndWhite").has_value());
    EXPECT_FALSE(driverValue("OncePrintQuality").has_value());
}

TEST_F(ConnectActionsTest, WithoutADefaultPrinterPrintDoesNothing) {
    connect(PrinterFixture::noDefaultPrinter());
    EXPECT_EQ(S_FALSE, print());
}

TEST_F(ConnectActionsTest, OnLoadKeepsTheRibbonUntilTheObjectGoes) {
    connect();
    // The ribbon's UI object: only its IUnknown and IDispatch matter here, so any counted object that refuses
    // IRibbonUI shows that nothing is kept, and nothing leaks, when the query fails.
    auto* notARibbon = new hostsim::AutomationObject();
    EXPECT_EQ(S_OK, host_.action(L"OnLoad", notARibbon));
    EXPECT_EQ(1u, notARibbon->references());
    EXPECT_EQ(S_OK, host_.action(L"OnLoad", nullptr));
    notARibbon->Release();
}

}  // namespace
