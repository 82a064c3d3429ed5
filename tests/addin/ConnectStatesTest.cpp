// Visibility by what the driver takes, and the stored pressed and selected states with the print options they
// set. The options are seen where they take effect: in the one-shot values that Print hands to the driver.
#include "tests/addin/ConnectFixture.h"

namespace {

const bool environment = installAddInEnvironment();

using fixtures::PrinterFixture;

const wchar_t* const kDriverControls[] = {
    L"CheckBoxBlackAndWhiteWordID",     L"CheckBoxDuplexWordID",       L"CheckBoxDuplexExcelID",
    L"CheckBoxDuplexPowerPointID",      L"DropDownNUpWordID",          L"DropDownNUpExcelID",
    L"DropDownNUpPowerPointID",         L"DropDownPrintQualityWordID", L"DropDownPrintQualityExcelID",
    L"DropDownPrintQualityPowerPointID"};

class ConnectStatesTest : public ConnectFixture {};

TEST_F(ConnectStatesTest, ADriverTakingEverythingShowsAllDriverControlsButWordsOwnPagesPerSheet) {
    connect();
    for (const wchar_t* id : kDriverControls) EXPECT_EQ(1, visible(id)) << id;
    EXPECT_EQ(0, visible(L"DropDownPagesPerSheetWordID"));
    EXPECT_EQ(1, visible(L"CheckBoxBlackAndWhiteExcelID"));
    EXPECT_EQ(1, visible(L"checkboxduplexexcelid"));
}

TEST_F(ConnectStatesTest, APrinterOfAnotherMakeHidesEveryDriverControlAndShowsPagesPerSheet) {
    connect(PrinterFixture::otherMake());
    for (const wchar_t* id : kDriverControls) EXPECT_EQ(0, visible(id)) << id;
    EXPECT_EQ(1, visible(L"DropDownPagesPerSheetWordID"));
    EXPECT_EQ(1, visible(L"CheckBoxBlackAndWhitePowerPointID"));
    EXPECT_EQ(1, visible(L"CheckBoxFitToPageExcelID"));
    EXPECT_EQ(1, visible(L"ButtonPrintWordID"));
}

TEST_F(ConnectStatesTest, EachCapabilityShowsOnlyItsOwnControls) {
    connect(PrinterFixture::makers({{PrinterFixture::kOnceNUp, 0}}));
    EXPECT_EQ(1, visible(L"DropDownNUpExcelID"));
    EXPECT_EQ(0, visible(L"DropDownPagesPerSheetWordID"));
    EXPECT_EQ(0, visible(L"CheckBoxDuplexPowerPointID"));
    EXPECT_EQ(0, visible(L"DropDownPrintQualityWordID"));
    EXPECT_EQ(0, visible(L"CheckBoxBlackAndWhiteWordID"));
}

TEST_F(ConnectStatesTest, EveryControlIsEnabledWithTheAutomationTrueValue) {
    connect();
    for (const wchar_t* id : {L"ButtonPrintWordID", L"DropDownNUpWordID", L""}) {
        auto* control = new hostsim::RibbonControl(id);
        VARIANT_BOOL enabled = 0;
        EXPECT_EQ(S_OK, host_.flag(L"GetEnabled", control, enabled));
        EXPECT_EQ(VARIANT_TRUE, enabled) << "control \"" << id << "\"";
        control->Release();
    }
}

TEST_F(ConnectStatesTest, NothingStoredShowsDefaultStatesAndPrintsTheDefaultOptions) {
    connect();
    EXPECT_EQ(0, pressed(L"GetBlackAndWhitePressed", L"CheckBoxBlackAndWhiteWordID"));
    EXPECT_EQ(0, pressed(L"GetDuplexPressed", L"CheckBoxDuplexWordID"));
    EXPECT_EQ(0, selected(L"GetPrintQualitySelectedItemIndex", L"DropDownPrintQualityWordID"));
    EXPECT_EQ(0, selected(L"GetNUpSelectedItemIndex", L"DropDownNUpWordID"));
    EXPECT_EQ(S_FALSE, print());
    EXPECT_EQ(1u, driverValue("OnceBlackAndWhite").value_or(99));
    EXPECT_EQ(1u, driverValue("OnceDuplex").value_or(99));
    EXPECT_EQ(1u, driverValue("OnceNUp").value_or(99));
    EXPECT_EQ(2u, driverValue("OncePrintQuality").value_or(99));
}

TEST_F(ConnectStatesTest, StoredPrintQualityIndexesMapToTheDriversCodes) {
    connect();
    const struct {
        DWORD stored;
        DWORD code;
    } cases[] = {{0, 2}, {1, 1}, {2, 3}, {5, 2}};
    for (const auto& entry : cases) {
        storeUserValue("DropDownPrintQualityWordID", entry.stored);
        EXPECT_EQ(static_cast<LONG>(entry.stored),
                  selected(L"GetPrintQualitySelectedItemIndex", L"DropDownPrintQualityWordID"));
        print();
        EXPECT_EQ(entry.code, driverValue("OncePrintQuality").value_or(99))
            << "stored index " << entry.stored;
    }
}

TEST_F(ConnectStatesTest, StoredNUpIndexesMapToTheDriversCodes) {
    connect();
    const DWORD codes[] = {1, 2, 3, 4, 8, 1};
    for (DWORD index = 0; index < 6; ++index) {
        storeUserValue("DropDownNUpExcelID", index);
        EXPECT_EQ(static_cast<LONG>(index), selected(L"GetNUpSelectedItemIndex", L"DropDownNUpExcelID"));
        print();
        EXPECT_EQ(codes[index], driverValue("OnceNUp").value_or(99)) << "stored index " << index;
    }
}

TEST_F(ConnectStatesTest, FitToPageForcesTheFirstNUpItemOnlyOnceItsStateIsKnown) {
    connect();
    storeUserValue("DropDownNUpExcelID", 3);
    storeUserValue("CheckBoxFitToPageExcelID", 0xFFFFFFFF);
    EXPECT_EQ(3, selected(L"GetNUpSelectedItemIndex", L"DropDownNUpExcelID")) << "fit to page not asked yet";
    print();
    EXPECT_EQ(4u, driverValue("OnceNUp").value_or(99));

    EXPECT_EQ(VARIANT_TRUE, pressed(L"GetFitToPagePressed", L"CheckBoxFitToPageExcelID"));
    EXPECT_EQ(0, selected(L"GetNUpSelectedItemIndex", L"DropDownNUpExcelID"));
    print();
    EXPECT_EQ(1u, driverValue("OnceNUp").value_or(99));
    EXPECT_EQ(3u, userValue("DropDownNUpExcelID").value_or(99)) << "the stored N-up choice is kept";
}

TEST_F(ConnectStatesTest, OnlyAllSixteenBitsSetCountAsPressed) {
    connect();
    storeUserValue("CheckBoxBlackAndWhiteWordID", 1);
    EXPECT_EQ(1, pressed(L"GetBlackAndWhitePressed", L"CheckBoxBlackAndWhiteWordID"));
    print();
    EXPECT_EQ(1u, driverValue("OnceBlackAndWhite").value_or(99));

    storeUserValue("CheckBoxBlackAndWhiteWordID", 0xFFFFFFFF);
    EXPECT_EQ(VARIANT_TRUE, pressed(L"GetBlackAndWhitePressed", L"CheckBoxBlackAndWhiteWordID"));
    print();
    EXPECT_EQ(2u, driverValue("OnceBlackAndWhite").value_or(99));
}

TEST_F(ConnectStatesTest, TwoSidedPrintingTellsADriverWithADuplexerSix) {
    PrinterFixture::Options printer;
    printer.duplexerPresent = 1;
    connect(printer);
    storeUserValue("CheckBoxDuplexWordID", 0xFFFFFFFF);
    EXPECT_EQ(VARIANT_TRUE, pressed(L"GetDuplexPressed", L"CheckBoxDuplexWordID"));
    print();
    EXPECT_EQ(6u, driverValue("OnceDuplex").value_or(99));
}

}  // namespace
