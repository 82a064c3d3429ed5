// The connection object's rules that need no operating system: which controls show for which driver, which
// languages turn the About box right to left, and how ribbon states become print options.
#include <gtest/gtest.h>

#include "addin/ControlCatalogue.h"
#include "addin/OptionMaps.h"
#include "addin/TextDirection.h"
#include "tools/testing/ModelCodePages.h"
#ifdef _WIN32
#include "text/AnsiCodePage.h"
#endif

namespace {

const SingleByteCodePage singleByte;

TEST(ControlVisibility, ADriverTakingNothingHidesTheTenDriverControlsOnly) {
    const DriverCapabilities none;
    for (const char* id :
         {controls::kCheckBoxBlackAndWhiteWord, controls::kCheckBoxDuplexWord, controls::kCheckBoxDuplexExcel,
          controls::kCheckBoxDuplexPowerPoint, controls::kDropDownNUpWord, controls::kDropDownNUpExcel,
          controls::kDropDownNUpPowerPoint, controls::kDropDownPrintQualityWord,
          controls::kDropDownPrintQualityExcel, controls::kDropDownPrintQualityPowerPoint})
        EXPECT_FALSE(controls::isVisible(id, none, singleByte)) << id;
    for (const char* id : {controls::kDropDownPagesPerSheetWord, "CheckBoxBlackAndWhiteExcelID",
                           "CheckBoxFitToPageExcelID", "DropDownLayoutPowerPointID", "ButtonPrintWordID", ""})
        EXPECT_TRUE(controls::isVisible(id, none, singleByte)) << id;
}

TEST(ControlVisibility, NUpAndPagesPerSheetAreNeverShownTogether) {
    DriverCapabilities driver;
    for (bool nUp : {false, true}) {
        driver.nUp = nUp;
        EXPECT_NE(controls::isVisible(controls::kDropDownPagesPerSheetWord, driver, singleByte),
                  controls::isVisible(controls::kDropDownNUpWord, driver, singleByte))
            << "driver N-up " << nUp;
    }
}

TEST(ControlVisibility, IdsMatchInAnyLetterCaseButNotByPrefix) {
    DriverCapabilities driver;
    driver.blackAndWhite = driver.nUp = driver.printQuality = true;
    EXPECT_FALSE(controls::isVisible("checkboxduplexwordid", driver, singleByte));
    EXPECT_FALSE(controls::isVisible("CHECKBOXDUPLEXEXCELID", driver, singleByte));
    EXPECT_TRUE(controls::isVisible("CheckBoxDuplexWordID2", driver, singleByte));
    EXPECT_TRUE(controls::isVisible("CheckBoxDuplexWord", driver, singleByte));
}

TEST(ControlVisibility, ADoubleByteCharacterIsNeverTakenForALetter) {
    const FakeDoubleByteCodePage doubleByte;
    const DriverCapabilities none;
    // 0x82 starts a double-byte character whose second byte is 'c': upper-casing must not touch it.
    EXPECT_TRUE(
        controls::isVisible("\x82"
                            "checkBoxDuplexWordID",
                            none, doubleByte));
    EXPECT_FALSE(controls::isVisible("checkboxduplexwordid", none, doubleByte));
}

TEST(TextDirection, ArabicAndHebrewInAnyCaseAreRightToLeft) {
    for (const char* language : {"ar", "AR", "He", "hE"})
        EXPECT_TRUE(isRightToLeftLanguage(language, singleByte)) << language;
    for (const char* language : {"he-IL", "ara", "a", "", "en", "Lang", " he"})
        EXPECT_FALSE(isRightToLeftLanguage(language, singleByte)) << language;
}

#ifdef _WIN32
TEST(TextDirection, TheThreadsCodePageComparesTheSameWay) {
    EXPECT_TRUE(isRightToLeftLanguage("AR", AnsiCodePage::instance()));
    EXPECT_FALSE(isRightToLeftLanguage("he-IL", AnsiCodePage::instance()));
}
#endif

TEST(OptionMaps, PrintQualityItemsAreNotInCodeOrder) {
    EXPECT_EQ(2, options::printQualityFor(0));
    EXPECT_EQ(1, options::printQualityFor(1));
    EXPECT_EQ(3, options::printQualityFor(2));
    EXPECT_EQ(2, options::printQualityFor(3));
    EXPECT_EQ(2, options::printQualityFor(-1));
}

TEST(OptionMaps, IndexesOutsideAListGiveTheFirstItemsValue) {
    EXPECT_EQ(3, options::nUpFor(2));
    EXPECT_EQ(8, options::nUpFor(4));
    EXPECT_EQ(1, options::nUpFor(5));
    EXPECT_EQ(8, options::pagesPerSheetFor(3));
    EXPECT_EQ(1, options::pagesPerSheetFor(4));
    EXPECT_EQ(2, options::layoutFor(2));
    EXPECT_EQ(0, options::layoutFor(3));
    EXPECT_EQ(0, options::layoutFor(-2147483647 - 1));
}

TEST(OptionMaps, OnlyAllSixteenBitsSetArePressed) {
    EXPECT_EQ(2, options::blackAndWhiteFor(-1));
    EXPECT_EQ(1, options::blackAndWhiteFor(1));
    EXPECT_EQ(2, options::duplexFor(-1));
    EXPECT_EQ(1, options::duplexFor(0));
    EXPECT_EQ(1, options::fitToPageFor(-1));
    EXPECT_EQ(0, options::fitToPageFor(-2));
}

}  // namespace
