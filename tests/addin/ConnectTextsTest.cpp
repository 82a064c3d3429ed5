// Labels, supertips and drop-down item lists, as the ribbon asks for them by name.
#include "tests/addin/ConnectFixture.h"
#include "tools/fixtures/FixtureData.h"

namespace {

const bool environment = installAddInEnvironment();

class ConnectTextsTest : public ConnectFixture {};

TEST_F(ConnectTextsTest, LabelsAndSupertipsComeFromTheStringTableWithPlaceholdersFilledIn) {
    connect();
    EXPECT_EQ(L"Two-sided", label(L"CheckBoxDuplexWordID"));
    EXPECT_EQ(L"Print on both sides of the paper.", supertip(L"CheckBoxDuplexWordID"));
    EXPECT_EQ(L"About Quillery", label(L"ButtonAboutExcelID"));
    EXPECT_EQ(L"Corvane Printing", label(L"GroupQuilleryPowerPointID"));
}

TEST_F(ConnectTextsTest, AnIdInAnotherLetterCaseFindsTheSameText) {
    connect();
    EXPECT_EQ(L"Two-sided", label(L"checkboxduplexwordid"));
}

TEST_F(ConnectTextsTest, AKeyTheStringFileLacksIsShownAsItself) {
    connect();
    EXPECT_EQ(L"LabelButtonNobodyKnowsID", label(L"ButtonNobodyKnowsID"));
    EXPECT_EQ(L"SupertipButtonNobodyKnowsID", supertip(L"ButtonNobodyKnowsID"));
}

TEST_F(ConnectTextsTest, SomethingThatIsNoRibbonControlGetsEmptyTexts) {
    connect();
    auto* notAControl = new hostsim::AutomationObject();
    std::wstring text = L"(unset)";
    EXPECT_EQ(S_OK, host_.text(L"GetLabel", notAControl, text));
    EXPECT_EQ(L"", text);
    text = L"(unset)";
    EXPECT_EQ(S_OK, host_.text(L"GetSupertip", nullptr, text));
    EXPECT_EQ(L"", text);
    EXPECT_EQ(1u, notAControl->references());
    notAControl->Release();
}

TEST_F(ConnectTextsTest, ADropDownsItemsAreCountedAndNamedFromItsLabelKeys) {
    connect();
    EXPECT_EQ(L"Pages per sheet", label(L"DropDownNUpWordID"));
    ASSERT_EQ(5, itemCount(L"DropDownNUpWordID")) << "a labelled drop-down has as many items as item keys";
    EXPECT_EQ(L"DropDownNUpWordID0", itemId(L"DropDownNUpWordID", 0));
    EXPECT_EQ(L"DropDownNUpWordID4", itemId(L"DropDownNUpWordID", 4));
    EXPECT_EQ(L"1 page per sheet", itemLabel(L"DropDownNUpWordID", 0));
    EXPECT_EQ(L"8 pages per sheet", itemLabel(L"DropDownNUpWordID", 4));
    EXPECT_EQ(3, itemCount(L"DropDownPrintQualityExcelID"));
    EXPECT_EQ(L"High", itemLabel(L"DropDownPrintQualityExcelID", 2));
}

TEST_F(ConnectTextsTest, ItemsAreCountedByContainmentIgnoringCaseLeavingOutTheDropDownsOwnLabel) {
    fixtures::InstallationFixture::Options installation;
    installation.contents["XMLStrings"] =
        "<Strings>\n"
        "  <String Key=\"LabelDropDownNUpWordID\" Value=\"Pages\"/>\n"
        "  <String Key=\"LabelDropDownNUpWordID0\" Value=\"One\"/>\n"
        "  <String Key=\"labeldropdownnupwordid1\" Value=\"Two\"/>\n"
        "  <String Key=\"XLabelDropDownNUpWordIDX\" Value=\"Inside\"/>\n"
        "</Strings>\n";
    connect(fixtures::PrinterFixture::Options(), installation);
    EXPECT_EQ(3, itemCount(L"DropDownNUpWordID")) << "the drop-down's own label was counted as an item";
    EXPECT_EQ(L"Pages", label(L"DropDownNUpWordID"));
    EXPECT_EQ(L"Two", itemLabel(L"DropDownNUpWordID", 1));
    EXPECT_EQ(L"LabelDropDownNUpWordID2", itemLabel(L"DropDownNUpWordID", 2));
}

TEST_F(ConnectTextsTest, ItemCallbacksWorkOnTheDropDownWhoseCountWasAskedLast) {
    connect();
    EXPECT_EQ(L"3", itemId(L"DropDownNUpWordID", 3)) << "before any count only the index is known";
    itemCount(L"DropDownPrintQualityExcelID");
    EXPECT_EQ(L"DropDownPrintQualityExcelID1", itemId(L"CheckBoxDuplexWordID", 1));
    EXPECT_EQ(L"Draft", itemLabel(L"CheckBoxDuplexWordID", 1));
    EXPECT_EQ(L"DropDownPrintQualityExcelID-1", itemId(L"DropDownPrintQualityExcelID", -1));
    auto* notAControl = new hostsim::AutomationObject();
    LONG count = 42;
    EXPECT_EQ(S_OK, host_.number(L"GetItemCount", notAControl, count));
    EXPECT_GT(count, 40) << "an empty id counts every label key";
    EXPECT_EQ(L"7", itemId(L"DropDownPrintQualityExcelID", 7)) << "the empty id replaced the last one";
    notAControl->Release();
}

}  // namespace
