// The string files the product ships, each read as the add-in reads it on a machine of its language: ctest
// runs this program once per code page, in a process of that code page (its locale, and QUILLERY_CODE_PAGE
// naming the code page), and each run checks the languages written for it.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "addin/TextDirection.h"
#include "tests/text/TemporaryFolder.h"
#include "text/AnsiCodePage.h"
#include "text/CodePageFit.h"
#include "text/StringKeys.h"
#include "text/StringTable.h"
#include "tools/fixtures/FixtureData.h"
#include "markup/RibbonMarkup.h"

namespace {

struct Language {
    const char* tag;  // the file strings/<tag>.xml and its "Lang" text
    unsigned codePage;
    bool rightToLeft;
};

// The Western languages share code page 1252.
const Language kLanguages[] = {
    {"en", 1252, false},   {"de", 1252, false}, {"fr", 1252, false},    {"es", 1252, false},
    {"it", 1252, false},   {"nl", 1252, false}, {"pt-BR", 1252, false}, {"ja", 932, false},
    {"zh-CN", 936, false}, {"ko", 949, false},  {"ar", 1256, true},     {"he", 1255, true},
};

const char* const kMarkupFiles[] = {"word.xml",          "word-generic.xml", "excel.xml",
                                    "excel-generic.xml", "powerpoint.xml",   "powerpoint-generic.xml"};

std::string utf8(const std::wstring& text) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr,
                              nullptr);
    return out;
}
std::string utf8(const std::u16string& text) {
    return utf8(std::wstring(text.begin(), text.end()));
}

std::string stringFileName(const Language& language) {
    return std::string("strings/") + language.tag + ".xml";
}

unsigned expectedCodePage() {
    char value[16] = {};
    if (::GetEnvironmentVariableA("QUILLERY_CODE_PAGE", value, sizeof value) == 0) return 0;
    return static_cast<unsigned>(std::strtoul(value, nullptr, 10));
}

bool hasKey(const StringTable& table, const std::string& key) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (AnsiCodePage::instance().equalIgnoringCase(table.key(i), key)) return true;
    }
    return false;
}

// What the six markup documents ask the string file for: a label or supertip key for every control that binds
// the callback, and an item list for every drop-down.
struct AskedKeys {
    std::vector<std::string> texts;
    std::vector<std::string> itemLists;  // "Label" + id: the items are this followed by 0, 1, ...
};

AskedKeys askedByTheMarkup() {
    AskedKeys asked;
    auto add = [](std::vector<std::string>& keys, const std::string& key) {
        for (const std::string& known : keys) {
            if (known == key) return;
        }
        keys.push_back(key);
    };
    for (const char* key : string_keys::kFixed) add(asked.texts, key);
    for (const char* file : kMarkupFiles) {
        const markup::MarkupDocument document = markup::readMarkup(fixtures::widenedFixtureData(file));
        EXPECT_TRUE(document.wellFormed) << file << ": " << utf8(document.error);
        for (const markup::MarkupControl& control : document.controls) {
            const std::string id = utf8(control.id);
            if (!control.attribute(L"getLabel").empty()) add(asked.texts, string_keys::kLabelPrefix + id);
            if (!control.attribute(L"getSupertip").empty())
                add(asked.texts, string_keys::kSupertipPrefix + id);
            if (!control.attribute(L"getItemCount").empty())
                add(asked.itemLists, string_keys::kLabelPrefix + id);
        }
    }
    return asked;
}

class LanguageFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        codePage = expectedCodePage();
        ASSERT_NE(codePage, 0u) << "QUILLERY_CODE_PAGE names the code page this run checks";
        ASSERT_EQ(::GetACP(), codePage)
            << "start this program in a locale of code page " << codePage
            << ": LOCPATH naming the folder of generated locales and LC_ALL naming one (scripts/test.sh)";
    }
    void TearDown() override { ::CoUninitialize(); }

    std::vector<Language> languagesOfThisCodePage() const {
        std::vector<Language> languages;
        for (const Language& language : kLanguages) {
            if (language.codePage == codePage) languages.push_back(language);
        }
        return languages;
    }

    unsigned codePage = 0;
    TemporaryFolder folder;
};

TEST_F(LanguageFiles, EveryShippedLanguageHasItsFileAndThisCodePageHasALanguage) {
    for (const Language& language : kLanguages) {
        EXPECT_FALSE(fixtures::fixtureData(stringFileName(language)).empty())
            << stringFileName(language) << " is not shipped";
    }
    EXPECT_FALSE(languagesOfThisCodePage().empty()) << "no language is written for code page " << codePage;
}

TEST_F(LanguageFiles, EachFileHoldsEveryTextTheMarkupAndTheAddInAskFor) {
    const AskedKeys asked = askedByTheMarkup();
    ASSERT_GT(asked.itemLists.size(), 0u) << "the markup declares no drop-down";
    // Every language lists the same items as English: the items stand for the driver's values by position.
    StringTable english(AnsiCodePage::instance());
    ASSERT_TRUE(english.load(folder.write("en.xml", fixtures::fixtureData("strings/en.xml"))));

    for (const Language& language : languagesOfThisCodePage()) {
        SCOPED_TRACE(language.tag);
        StringTable table(AnsiCodePage::instance());
        ASSERT_TRUE(table.load(folder.write(std::string(language.tag) + ".xml",
                                            fixtures::fixtureData(stringFileName(language)))));
        for (const std::string& key : asked.texts) EXPECT_TRUE(hasKey(table, key)) << key << " is missing";
        for (const std::string& list : asked.itemLists) {
            // The add-in counts a drop-down's items by their keys; they must run from 0 without a gap.
            const int count = table.countLongerKeysContaining(list);
            EXPECT_GT(count, 0) << list << " has no items";
            EXPECT_EQ(count, english.countLongerKeysContaining(list)) << list;
            for (int index = 0; index < count; ++index) {
                EXPECT_TRUE(hasKey(table, list + std::to_string(index))) << list << index << " is missing";
            }
        }
    }
}

TEST_F(LanguageFiles, EachFileIsWellFormedAndEveryTextComesThroughItsCodePageWhole) {
    for (const Language& language : languagesOfThisCodePage()) {
        SCOPED_TRACE(language.tag);
        const std::string name = stringFileName(language);
        // The string table decodes no character references: a text holding one would show it raw.
        const markup::MarkupDocument document = markup::readMarkup(fixtures::widenedFixtureData(name));
        EXPECT_TRUE(document.wellFormed) << utf8(document.error) << " at line " << document.errorLine;
        EXPECT_EQ(fixtures::fixtureData(name).find('&'), std::string::npos) << "a character reference";

        // A character the code page lacks, fitted to a look-alike, or a double-byte character cut in two
        // all show as damage.
        const CodePageFit fit =
            checkCodePageFit(folder.write(std::string(language.tag) + ".xml", fixtures::fixtureData(name)));
        EXPECT_TRUE(fit.readable);
        EXPECT_EQ(fit.codePage, codePage);
        EXPECT_GT(fit.texts, 80u);
        for (const DamagedText& damaged : fit.damaged) {
            ADD_FAILURE() << damaged.key << ": \"" << utf8(damaged.written) << "\" shows as \""
                          << utf8(damaged.shown) << "\"";
        }
    }
}

TEST_F(LanguageFiles, TheAboutBoxTurnsAroundExactlyForArabicAndHebrew) {
    for (const Language& language : languagesOfThisCodePage()) {
        SCOPED_TRACE(language.tag);
        StringTable table(AnsiCodePage::instance());
        ASSERT_TRUE(table.load(folder.write(std::string(language.tag) + ".xml",
                                            fixtures::fixtureData(stringFileName(language)))));
        const std::string tag = table.lookup(string_keys::kLanguage);
        EXPECT_EQ(tag, language.tag) << "the file's language tag";
        EXPECT_EQ(isRightToLeftLanguage(tag, AnsiCodePage::instance()), language.rightToLeft);
    }
}

// The check itself, on a file with a text no code page of ours holds (Thai), a question mark the file wrote
// itself, and text every code page holds.
TEST_F(LanguageFiles, TheFitCheckNamesExactlyTheTextsTheCodePageCannotHold) {
    const std::string path = folder.write(
        "mixed.xml",
        "<Strings>\n"
        "  <String Key=\"Plain\" Value=\"Print %PRODUCT%\"/>\n"
        "  <String Key=\"Asked\" Value=\"Print?\"/>\n"
        "  <String Key=\"Thai\" Value=\"\xE0\xB8\x9E\xE0\xB8\xB4\xE0\xB8\xA1\xE0\xB8\x9E\xE0\xB9\x8C\"/>\n"
        "</Strings>\n");
    const CodePageFit fit = checkCodePageFit(path);
    EXPECT_TRUE(fit.readable);
    EXPECT_EQ(fit.texts, 3u);
    ASSERT_EQ(fit.damaged.size(), 1u);
    EXPECT_EQ(fit.damaged[0].key, "Thai");
    EXPECT_EQ(fit.damaged[0].written, u"\u0E1E\u0E34\u0E21\u0E1E\u0E4C");
    EXPECT_NE(fit.damaged[0].shown, fit.damaged[0].written);

    const CodePageFit unreadable = checkCodePageFit(folder.write("broken.xml", "<s k=\"K\" v=\"\xC3(\"/>\n"));
    EXPECT_FALSE(unreadable.readable);
    EXPECT_FALSE(unreadable.clean());
}

}  // namespace
