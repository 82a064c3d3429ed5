#include "settings/ToolbarSettings.h"

#include "settings/PrinterQuery.h"
#include "settings/RegistryAccess.h"
#include "tests/support/RegistryRecorder.h"
#include "tools/fixtures/CreatedKey.h"
#include "tools/fixtures/InstallationFixture.h"
#include "tools/fixtures/PrinterFixture.h"
#include "tools/fixtures/RegistryEdit.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using fixtures::InstallationFixture;
using fixtures::PrinterFixture;

constexpr const char* kMakersKey = "Software\\CorvaneInkJet\\IjPrtSettings\\Corvane iX6800 series";

std::unique_ptr<ToolbarSettings> settingsWatchedBy(const RegistryRecorder& recorder) {
    return std::make_unique<ToolbarSettings>(std::make_unique<RegistryAccess>(recorder.api()),
                                             std::make_unique<PrinterQuery>());
}

std::string flags(const ToolbarSettings& settings) {
    std::string seen;
    const DriverCapabilities driver = settings.capabilities();
    seen += driver.blackAndWhite ? "B" : "-";
    seen += driver.duplex ? "D" : "-";
    seen += driver.nUp ? "N" : "-";
    seen += driver.printQuality ? "Q" : "-";
    return seen;
}

// --- The default printer and what its driver offers

TEST(ToolbarSettingsPrinter, NoDefaultPrinterLeavesEverythingOff) {
    PrinterFixture printer(PrinterFixture::noDefaultPrinter());
    const ToolbarSettings settings;
    EXPECT_FALSE(settings.hasDefaultPrinter());
    EXPECT_EQ("----", flags(settings));
    EXPECT_EQ("", settings.printerSettingsKeyPath());
}

TEST(ToolbarSettingsPrinter, PrinterOfAnotherMakeOffersNoOptions) {
    PrinterFixture printer(PrinterFixture::otherMake());
    const ToolbarSettings settings;
    EXPECT_TRUE(settings.hasDefaultPrinter());
    EXPECT_EQ("----", flags(settings));
    EXPECT_EQ("", settings.printerSettingsKeyPath());
}

TEST(ToolbarSettingsPrinter, MakersPrinterWithAllFourValuesOffersAllOptions) {
    PrinterFixture printer;
    const ToolbarSettings settings;
    EXPECT_TRUE(settings.hasDefaultPrinter());
    EXPECT_EQ(kMakersKey, settings.printerSettingsKeyPath());
    EXPECT_EQ("BDNQ", flags(settings));
}

TEST(ToolbarSettingsPrinter, MakersPrinterWithSomeValuesOffersOnlyThose) {
    PrinterFixture printer(PrinterFixture::makers({{"OnceDuplex", 0}, {"OncePrintQuality", 0}}));
    EXPECT_EQ("-D-Q", flags(ToolbarSettings()));
}

TEST(ToolbarSettingsPrinter, MakersPrinterWithNoValuesOffersNothing) {
    PrinterFixture printer(PrinterFixture::makers({}));
    const ToolbarSettings settings;
    EXPECT_EQ(kMakersKey, settings.printerSettingsKeyPath());
    EXPECT_EQ("----", flags(settings));
}

TEST(ToolbarSettingsPrinter, FriendlyNameWithBackslashNamesANestedKey) {
    PrinterFixture::Options options;
    options.friendlyName = "Corvane iX\\6800";
    PrinterFixture printer(options);
    const ToolbarSettings settings;
    EXPECT_EQ("Software\\CorvaneInkJet\\IjPrtSettings\\Corvane iX\\6800", settings.printerSettingsKeyPath());
    EXPECT_EQ("BDNQ", flags(settings));
}

TEST(ToolbarSettingsPrinter, NUpStoredAsTwoCharacterTextStillCounts) {
    PrinterFixture printer(PrinterFixture::makers({}));
    ASSERT_TRUE(fixtures::setString(HKEY_LOCAL_MACHINE, printer.settingsKeyPath(), "OnceNUp", "ab",
                                    PrinterFixture::kDriverView));
    EXPECT_EQ("--N-", flags(ToolbarSettings()));
}

TEST(ToolbarSettingsPrinter, NUpStoredAsEightCharacterTextDoesNotCount) {
    PrinterFixture printer(PrinterFixture::makers({}));
    ASSERT_TRUE(fixtures::setString(HKEY_LOCAL_MACHINE, printer.settingsKeyPath(), "OnceNUp", "abcdefgh",
                                    PrinterFixture::kDriverView));
    EXPECT_EQ("----", flags(ToolbarSettings()));
}

TEST(ToolbarSettingsPrinter, EmptyFriendlyNameMakesNoProbe) {
    PrinterFixture::Options options;
    options.friendlyName = "";
    options.settingsKey = false;
    PrinterFixture printer(options);
    RegistryRecorder recorder;
    const auto settings = settingsWatchedBy(recorder);
    EXPECT_TRUE(settings->hasDefaultPrinter());
    EXPECT_EQ("", settings->printerSettingsKeyPath());
    EXPECT_TRUE(recorder.openMasks.empty()) << recorder.openMasks.size() << " keys opened";
}

TEST(ToolbarSettingsPrinter, DriverKeyIsProbedInThe64BitView) {
    PrinterFixture printer;
    RegistryRecorder recorder(RegistryRecorder::Wow64::ReportsTrue);
    const auto settings = settingsWatchedBy(recorder);
    EXPECT_EQ("BDNQ", flags(*settings));
    EXPECT_EQ((std::vector<REGSAM>(4, 0x0101)), recorder.openMasks);
    EXPECT_EQ((std::vector<std::string>{"OnceBlackAndWhite", "OnceDuplex", "OnceNUp", "OncePrintQuality"}),
              recorder.queriedValues);
}

// --- The driver's key in the 64-bit view, whatever the bitness of the process

// A 64-bit driver keeps its key in the 64-bit view. The decoy is a key of the same name in the 32-bit view
// with other values: a 64-bit process never sees it, and a 32-bit process (32-bit Office on 64-bit Windows)
// that did not ask for the 64-bit view would probe, read and write it instead of the driver's.
struct DriverViewRow {
    const char* name;
    std::map<std::string, uint32_t> driver;
    std::optional<uint32_t> duplexer;  // the driver's "PrintDuplexerPresent"
    std::map<std::string, uint32_t> decoy;
    const char* offered;     // the capabilities, as flags() spells them
    uint32_t duplexWritten;  // what two-sided printing stores
};

TEST(ToolbarSettingsDriverView, TheDriversKeyIsProbedReadAndWrittenInThe64BitViewAlone) {
    const std::map<std::string, uint32_t> all = {
        {"OnceBlackAndWhite", 0}, {"OnceDuplex", 0}, {"OnceNUp", 0}, {"OncePrintQuality", 0}};
    const std::map<std::string, uint32_t> allOfDecoy = {
        {"OnceBlackAndWhite", 9}, {"OnceDuplex", 9}, {"OnceNUp", 9}, {"OncePrintQuality", 9}};
    const std::vector<DriverViewRow> rows = {
        {"driver: duplex and quality, a duplexer; decoy: the other two, no duplexer",
         {{"OnceDuplex", 0}, {"OncePrintQuality", 0}},
         1,
         {{"OnceBlackAndWhite", 9}, {"OnceNUp", 9}, {"PrintDuplexerPresent", 0}},
         "-D-Q",
         6},
        {"driver: everything, no duplexer; decoy: a duplexer",
         all,
         std::nullopt,
         {{"PrintDuplexerPresent", 1}},
         "BDNQ",
         2},
        {"driver: nothing; decoy: everything", {}, std::nullopt, allOfDecoy, "----", 2},
    };
    for (const DriverViewRow& row : rows) {
        PrinterFixture::Options options = PrinterFixture::makers(row.driver);
        options.duplexerPresent = row.duplexer;
        options.decoyValues = row.decoy;
        PrinterFixture printer(options);
        const ToolbarSettings settings;
        EXPECT_EQ(row.offered, flags(settings)) << row.name;

        EXPECT_TRUE(settings.writeOnceBlackAndWhite(2)) << row.name;
        EXPECT_TRUE(settings.writeOnceDuplex(2)) << row.name;
        EXPECT_TRUE(settings.writeOnceNUp(4)) << row.name;
        EXPECT_TRUE(settings.writeOncePrintQuality(3)) << row.name;
        EXPECT_EQ(2u, printer.valueOf("OnceBlackAndWhite").value_or(0xDEAD)) << row.name;
        EXPECT_EQ(row.duplexWritten, printer.valueOf("OnceDuplex").value_or(0xDEAD)) << row.name;
        EXPECT_EQ(4u, printer.valueOf("OnceNUp").value_or(0xDEAD)) << row.name;
        EXPECT_EQ(3u, printer.valueOf("OncePrintQuality").value_or(0xDEAD)) << row.name;
        for (const auto& [name, unused] : all) {
            const auto kept = row.decoy.find(name);
            EXPECT_EQ(kept == row.decoy.end() ? std::nullopt : std::optional<uint32_t>(kept->second),
                      printer.valueOf(name, PrinterFixture::kDecoyView))
                << row.name << ": the decoy's " << name;
        }
    }
}

TEST(ToolbarSettingsPrinter, WithoutRegistryObjectNothingIsOfferedOrWritten) {
    PrinterFixture printer;
    InstallationFixture installation;
    const ToolbarSettings settings(nullptr, std::make_unique<PrinterQuery>());
    EXPECT_TRUE(settings.hasDefaultPrinter());
    EXPECT_EQ("----", flags(settings));
    EXPECT_FALSE(settings.writeOnceDuplex(1));
    EXPECT_FALSE(settings.writeUserDword("CheckBoxDuplexWordID", 1));
    EXPECT_EQ(0u, settings.readUserDword("CheckBoxDuplexWordID"));
    EXPECT_EQ("", settings.stringsFilePath());
}

// --- One-shot values for the next job

std::optional<uint32_t> once(const PrinterFixture& printer, const char* name) {
    return printer.valueOf(name);
}

TEST(ToolbarSettingsOneShot, ValuesLandInTheDriversKeyAsGiven) {
    PrinterFixture printer;
    const ToolbarSettings settings;
    EXPECT_TRUE(settings.writeOnceBlackAndWhite(2));
    EXPECT_TRUE(settings.writeOnceNUp(8));
    EXPECT_TRUE(settings.writeOncePrintQuality(3));
    EXPECT_TRUE(settings.writeOnceDuplex(1));
    EXPECT_EQ(2u, once(printer, "OnceBlackAndWhite").value_or(0xDEAD));
    EXPECT_EQ(8u, once(printer, "OnceNUp").value_or(0xDEAD));
    EXPECT_EQ(3u, once(printer, "OncePrintQuality").value_or(0xDEAD));
    EXPECT_EQ(1u, once(printer, "OnceDuplex").value_or(0xDEAD));
}

TEST(ToolbarSettingsOneShot, TwoSidedBecomesSixWithADuplexer) {
    for (uint32_t present : {1u, 7u}) {
        PrinterFixture::Options options;
        options.duplexerPresent = present;
        PrinterFixture printer(options);
        EXPECT_TRUE(ToolbarSettings().writeOnceDuplex(2));
        EXPECT_EQ(6u, once(printer, "OnceDuplex").value_or(0xDEAD)) << "PrintDuplexerPresent " << present;
    }
}

TEST(ToolbarSettingsOneShot, TwoSidedStaysTwoWithoutADuplexer) {
    for (bool recorded : {false, true}) {
        PrinterFixture::Options options;
        if (recorded) options.duplexerPresent = 0;
        PrinterFixture printer(options);
        EXPECT_TRUE(ToolbarSettings().writeOnceDuplex(2));
        EXPECT_EQ(2u, once(printer, "OnceDuplex").value_or(0xDEAD)) << "duplexer recorded as 0: " << recorded;
    }
}

TEST(ToolbarSettingsOneShot, OtherDuplexValuesAreWrittenWithoutAskingForTheDuplexer) {
    PrinterFixture::Options options;
    options.duplexerPresent = 1;
    PrinterFixture printer(options);
    RegistryRecorder recorder;
    const auto settings = settingsWatchedBy(recorder);
    for (uint32_t value : {1u, 6u}) {
        recorder.clear();
        EXPECT_TRUE(settings->writeOnceDuplex(value));
        EXPECT_TRUE(recorder.queriedValues.empty()) << "queried " << recorder.queriedValues.front();
        EXPECT_EQ(value, once(printer, "OnceDuplex").value_or(0xDEAD));
    }
}

TEST(ToolbarSettingsOneShot, WritesWithoutADriverKeyFailAndTouchNothing) {
    PrinterFixture printer(PrinterFixture::otherMake());
    RegistryRecorder recorder;
    const auto settings = settingsWatchedBy(recorder);
    recorder.clear();
    EXPECT_FALSE(settings->writeOnceDuplex(2));
    EXPECT_FALSE(settings->writeOnceNUp(2));
    EXPECT_TRUE(recorder.openMasks.empty()) << recorder.openMasks.size() << " keys opened";
}

TEST(ToolbarSettingsOneShot, WriteToAVanishedDriverKeyFailsAndDoesNotCreateIt) {
    PrinterFixture printer;
    const ToolbarSettings settings;
    ASSERT_TRUE(
        fixtures::deleteTree(HKEY_LOCAL_MACHINE, printer.settingsKeyPath(), PrinterFixture::kDriverView));
    EXPECT_FALSE(settings.writeOncePrintQuality(2));
    EXPECT_FALSE(
        fixtures::keyExists(HKEY_LOCAL_MACHINE, printer.settingsKeyPath(), PrinterFixture::kDriverView));
}

// --- Per-user control states

TEST(ToolbarSettingsUser, ControlStateIsKeptPerUser) {
    InstallationFixture installation;
    const ToolbarSettings settings;
    EXPECT_EQ(0u, settings.readUserDword("CheckBoxDuplexWordID"));
    EXPECT_TRUE(settings.writeUserDword("CheckBoxDuplexWordID", 1));
    EXPECT_EQ(1u, settings.readUserDword("CheckBoxDuplexWordID"));
    EXPECT_EQ(1u, fixtures::dwordOf(HKEY_CURRENT_USER, InstallationFixture::kKeyPath, "CheckBoxDuplexWordID")
                      .value_or(0xDEAD));
}

TEST(ToolbarSettingsUser, EmptyNameTouchesNoRegistry) {
    InstallationFixture installation;
    RegistryRecorder recorder;
    const auto settings = settingsWatchedBy(recorder);
    recorder.clear();
    EXPECT_EQ(0u, settings->readUserDword(""));
    EXPECT_FALSE(settings->writeUserDword("", 1));
    EXPECT_TRUE(recorder.openMasks.empty()) << recorder.openMasks.size() << " keys opened";
}

TEST(ToolbarSettingsUser, WithoutTheUserKeyStatesAreNotKeptAndTheKeyIsNotCreated) {
    InstallationFixture::Options options;
    options.userKey = false;
    InstallationFixture installation(options);
    const ToolbarSettings settings;
    EXPECT_FALSE(settings.writeUserDword("CheckBoxDuplexWordID", 1));
    EXPECT_EQ(0u, settings.readUserDword("CheckBoxDuplexWordID"));
    EXPECT_FALSE(fixtures::keyExists(HKEY_CURRENT_USER, InstallationFixture::kKeyPath));
}

// --- File paths from the installation key

TEST(ToolbarSettingsPaths, SevenPathsComeFromTheInstallationKey) {
    InstallationFixture installation;
    const ToolbarSettings settings;
    EXPECT_EQ(installation.filePathOf("XMLStrings"), settings.stringsFilePath());
    EXPECT_EQ(installation.filePathOf("XMLWordLarge"), settings.wordLargeXmlPath());
    EXPECT_EQ(installation.filePathOf("XMLWordLargeGeneric"), settings.wordLargeGenericXmlPath());
    EXPECT_EQ(installation.filePathOf("XMLExcelLarge"), settings.excelLargeXmlPath());
    EXPECT_EQ(installation.filePathOf("XMLExcelLargeGeneric"), settings.excelLargeGenericXmlPath());
    EXPECT_EQ(installation.filePathOf("XMLPowerPointLarge"), settings.powerPointLargeXmlPath());
    EXPECT_EQ(installation.filePathOf("XMLPowerPointLargeGeneric"), settings.powerPointLargeGenericXmlPath());
    EXPECT_NE("", settings.stringsFilePath());
}

TEST(ToolbarSettingsPaths, TheInstallationKeyIsReadInTheProcesssOwnView) {
    // An installation of the other bitness keeps its key, with its own files, in the other view.
    const REGSAM other = fixtures::otherView();
    fixtures::CreatedKey otherKey(HKEY_LOCAL_MACHINE, InstallationFixture::kKeyPath, other);
    ASSERT_TRUE(otherKey.created());
    ASSERT_TRUE(fixtures::setString(HKEY_LOCAL_MACHINE, InstallationFixture::kKeyPath, "XMLStrings",
                                    "C:\\Other\\strings.xml", other));
    {
        InstallationFixture installation;
        EXPECT_EQ(installation.filePathOf("XMLStrings"), ToolbarSettings().stringsFilePath());
    }
    EXPECT_EQ("", ToolbarSettings().stringsFilePath());
}

TEST(ToolbarSettingsPaths, PathOf259CharactersIsReturnedWhole) {
    const std::string longest = "C:\\" + std::string(256, 'p');
    InstallationFixture::Options options;
    options.values["XMLWordLarge"] = longest;
    InstallationFixture installation(options);
    EXPECT_EQ(longest, ToolbarSettings().wordLargeXmlPath());
}

TEST(ToolbarSettingsPaths, PathTooLongForTheBufferReadsEmpty) {
    InstallationFixture::Options options;
    options.values["XMLExcelLarge"] = "C:\\" + std::string(257, 'p');
    options.values["XMLStrings"] = "C:\\" + std::string(400, 's');
    InstallationFixture installation(options);
    const ToolbarSettings settings;
    EXPECT_EQ("", settings.excelLargeXmlPath());
    EXPECT_EQ("", settings.stringsFilePath());
}

TEST(ToolbarSettingsPaths, MissingValueOrKeyReadsEmpty) {
    {
        InstallationFixture::Options options;
        options.omittedValues = {"XMLPowerPointLarge"};
        InstallationFixture installation(options);
        const ToolbarSettings settings;
        EXPECT_EQ("", settings.powerPointLargeXmlPath());
        EXPECT_NE("", settings.powerPointLargeGenericXmlPath());
    }
    InstallationFixture::Options options;
    options.machineKey = false;
    InstallationFixture installation(options);
    EXPECT_EQ("", ToolbarSettings().stringsFilePath());
}

}  // namespace
