#include "text/StringTable.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/ToolbarSettings.h"
#include "tests/text/AllocationMeter.h"
#include "tests/text/TemporaryFolder.h"
#include "text/AnsiCodePage.h"
#include "tools/fixtures/InstallationFixture.h"

namespace {

std::string line(const std::string& key, const std::string& value) {
    return "  <String Key=\"" + key + "\" Value=\"" + value + "\"/>\r\n";
}

class StringTableLoad : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 1252u) << "these tests expect the Western European code page";
    }

    TemporaryFolder folder;
    StringTable table{AnsiCodePage::instance()};
};

TEST_F(StringTableLoad, Utf8FileIsLoadedInTheAnsiCodePageWithPlaceholdersReplaced) {
    const std::string path =
        folder.write("strings.xml", "<?xml version=\"1.0\"?>\r\n<Strings>\r\n" +
                                        line("LangAboutTitle", "\xC3\x80 propos de %PRODUCT%") +
                                        line("Cl\xC3\xA9", "%OEM_FULL%") + "</Strings>\r\n");
    EXPECT_TRUE(table.load(path));
    EXPECT_EQ(table.lookup("langabouttitle"), "\xC0 propos de Quillery");
    EXPECT_EQ(table.lookup("CL\xC9"), "Corvane International, Inc.") << "upper-casing by code page 1252";
}

TEST_F(StringTableLoad, MissingFileLeavesTheTableEmpty) {
    EXPECT_FALSE(table.load(folder.path("absent.xml")));
    EXPECT_EQ(table.lookup("LangAboutTitle"), "LangAboutTitle");
    EXPECT_EQ(table.countKeysContaining("Lang"), 0);
}

TEST_F(StringTableLoad, MalformedUtf8LeavesTheTableEmpty) {
    EXPECT_FALSE(table.load(folder.write("strings.xml", line("Lang", "en") + line("Bad", "\xC3("))));
    EXPECT_EQ(table.lookup("Lang"), "Lang");
}

TEST_F(StringTableLoad, NulByteEndsTheText) {
    EXPECT_TRUE(table.load(
        folder.write("strings.xml", line("First", "1") + std::string(1, '\0') + line("Second", "2"))));
    EXPECT_EQ(table.lookup("First"), "1");
    EXPECT_EQ(table.lookup("Second"), "Second");
}

TEST_F(StringTableLoad, EmptyFileLeavesTheTableEmpty) {
    EXPECT_FALSE(table.load(folder.write("strings.xml", "")));
    EXPECT_EQ(table.countKeysContaining("e"), 0);
}

TEST_F(StringTableLoad, FiftyMegabyteFileLoadsWithinASmallMultipleOfItsSize) {
    std::string content;
    const std::string pending = "<String Key=\"Pending\"/>\r\n";
    while (content.size() < (50u << 20)) content += pending;
    content += line("Last", "\xC3\xA9t\xC3\xA9");
    const std::string path = folder.write("big.xml", content);
    const std::size_t fileSize = content.size();
    content = std::string();

    const std::size_t before = allocation_meter::current();
    allocation_meter::resetPeak();
    EXPECT_TRUE(table.load(path));
    const std::size_t peak = allocation_meter::peak() - before;

    EXPECT_EQ(table.lookup("LAST"), "\xE9t\xE9");
    // The bytes, their wide text and the narrow text: about four times the file at the peak.
    EXPECT_LT(peak, 5 * fileSize) << "loading a file of " << fileSize << " bytes took " << peak
                                  << " at the peak";
    EXPECT_GT(peak, fileSize) << "the allocation meter saw too little to be measuring the load";
}

TEST(StringTableFromSettings, LoadsTheFileTheInstallationKeyNames) {
    fixtures::InstallationFixture installation;
    StringTable table{AnsiCodePage::instance()};
    table.load(ToolbarSettings().stringsFilePath());
    EXPECT_EQ(table.lookup("Lang"), "en");
    EXPECT_EQ(table.lookup("LangAboutTitle"), "About Quillery");
    // The copyright years have no replacement of their own: the installer writes them into the file.
    EXPECT_EQ(table.lookup("LangAboutCopyright"),
              "Copyright \xA9 " QUILLERY_COPYRIGHT_YEARS " Corvane International, Inc.");
}

TEST(StringTableFromSettings, WithoutTheStringsValueEveryTextIsItsKey) {
    fixtures::InstallationFixture::Options options;
    options.omittedValues.insert("XMLStrings");
    fixtures::InstallationFixture installation(options);
    StringTable table{AnsiCodePage::instance()};
    table.load(ToolbarSettings().stringsFilePath());
    EXPECT_EQ(table.lookup("LangAboutTitle"), "LangAboutTitle");
}

}  // namespace
