#include "text/RibbonXmlSet.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/ToolbarSettings.h"
#include "tools/fixtures/InstallationFixture.h"

namespace {

using fixtures::InstallationFixture;

// The files the installation key names, as the connection object hands them over.
RibbonXmlPaths installedPaths() {
    const ToolbarSettings settings;
    return {settings.wordLargeXmlPath(),       settings.wordLargeGenericXmlPath(),
            settings.excelLargeXmlPath(),      settings.excelLargeGenericXmlPath(),
            settings.powerPointLargeXmlPath(), settings.powerPointLargeGenericXmlPath()};
}

std::string contentsFor(const std::string& valueName) {
    return "<customUI id=\"" + valueName + "\"/>\r\n";
}

InstallationFixture::Options distinctDocuments() {
    InstallationFixture::Options options;
    for (const char* name : {"XMLWordLarge", "XMLWordLargeGeneric", "XMLExcelLarge", "XMLExcelLargeGeneric",
                             "XMLPowerPointLarge", "XMLPowerPointLargeGeneric"}) {
        options.contents[name] = contentsFor(name);
    }
    return options;
}

TEST(RibbonXmlSetLoad, EachGetterHandsOutItsOwnFile) {
    InstallationFixture installation(distinctDocuments());
    RibbonXmlSet set;
    set.load(installedPaths());
    EXPECT_EQ(set.wordXml(), contentsFor("XMLWordLarge"));
    EXPECT_EQ(set.wordGenericXml(), contentsFor("XMLWordLargeGeneric"));
    EXPECT_EQ(set.excelXml(), contentsFor("XMLExcelLarge"));
    EXPECT_EQ(set.excelGenericXml(), contentsFor("XMLExcelLargeGeneric"));
    EXPECT_EQ(set.powerPointXml(), contentsFor("XMLPowerPointLarge"));
    EXPECT_EQ(set.powerPointGenericXml(), contentsFor("XMLPowerPointLargeGeneric"));
    EXPECT_TRUE(set.load(installedPaths()));
}

TEST(RibbonXmlSetLoad, MissingValueLeavesOnlyItsDocumentEmpty) {
    InstallationFixture::Options options = distinctDocuments();
    options.omittedValues.insert("XMLExcelLarge");
    InstallationFixture installation(options);
    RibbonXmlSet set;
    set.load(installedPaths());
    EXPECT_EQ(set.excelXml(), "");
    EXPECT_EQ(set.wordXml(), contentsFor("XMLWordLarge"));
    EXPECT_EQ(set.wordGenericXml(), contentsFor("XMLWordLargeGeneric"));
    EXPECT_EQ(set.excelGenericXml(), contentsFor("XMLExcelLargeGeneric"));
    EXPECT_EQ(set.powerPointXml(), contentsFor("XMLPowerPointLarge"));
    EXPECT_EQ(set.powerPointGenericXml(), contentsFor("XMLPowerPointLargeGeneric"));
    EXPECT_FALSE(set.load(installedPaths()));
}

TEST(RibbonXmlSetLoad, MalformedFileLeavesOnlyItsDocumentEmpty) {
    InstallationFixture::Options options = distinctDocuments();
    options.contents["XMLPowerPointLargeGeneric"] = "<customUI>\xF8</customUI>";
    InstallationFixture installation(options);
    RibbonXmlSet set;
    set.load(installedPaths());
    EXPECT_EQ(set.powerPointGenericXml(), "");
    EXPECT_EQ(set.powerPointXml(), contentsFor("XMLPowerPointLarge"));
}

TEST(RibbonXmlSetLoad, ByteOrderMarkStaysAtTheStart) {
    InstallationFixture::Options options = distinctDocuments();
    options.contents["XMLWordLarge"] = "\xEF\xBB\xBF<customUI/>";
    InstallationFixture installation(options);
    RibbonXmlSet set;
    set.load(installedPaths());
    const std::string word = set.wordXml();
    ASSERT_EQ(word.size(), 12u) << word;
    EXPECT_EQ(word.substr(1), "<customUI/>");
}

TEST(RibbonXmlSetLoad, NoInstallationKeyLeavesEveryDocumentEmpty) {
    InstallationFixture::Options options;
    options.machineKey = false;
    InstallationFixture installation(options);
    RibbonXmlSet set;
    set.load(installedPaths());
    EXPECT_FALSE(set.load(installedPaths()));
    EXPECT_EQ(set.wordXml() + set.wordGenericXml() + set.excelXml() + set.excelGenericXml() +
                  set.powerPointXml() + set.powerPointGenericXml(),
              "");
}

TEST(RibbonXmlSetGetters, HandOutCopies) {
    InstallationFixture installation(distinctDocuments());
    RibbonXmlSet set;
    set.load(installedPaths());
    std::string word = set.wordXml();
    word[0] = 'X';
    EXPECT_EQ(set.wordXml(), contentsFor("XMLWordLarge"));
}

}  // namespace
