// Runs in a process whose ANSI code page is 932 (Japanese, double-byte): ctest starts it with the ja_JP
// locale.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/support/HexBytes.h"
#include "tests/text/TemporaryFolder.h"
#include "text/AnsiCodePage.h"
#include "text/StringTable.h"
#include "text/Utf8TextFile.h"

namespace {

// UTF-8 of the characters used below, and their code page 932 forms.
constexpr char kKatakanaA8[] = "\xE3\x82\xA2";  // U+30A2, 0x83 0x41: its trailing byte is "A"
constexpr char kKatakanaA932[] = "\x83\x41";
constexpr char kKatakanaSo8[] = "\xE3\x82\xBD";  // U+30BD, 0x83 0x5C: its trailing byte is a backslash
constexpr char kKatakanaSo932[] = "\x83\x5C";
constexpr char kFullWidthSmallA932[] = "\x82\x81";    // U+FF41
constexpr char kFullWidthCapitalA932[] = "\x82\x60";  // U+FF21
constexpr char kFullWidthSmallA8[] = "\xEF\xBD\x81";

class CodePage932 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 932u)
            << "this program must run in code page 932: start it with LOCPATH naming a "
               "folder that holds the ja_JP.UTF-8 locale and LC_ALL=ja_JP.UTF-8";
    }
    const CodePage& codePage = AnsiCodePage::instance();
};

TEST_F(CodePage932, ProcessRunsInTheJapaneseCodePage) {
    EXPECT_EQ(::GetACP(), 932u);
}

TEST_F(CodePage932, LeadBytesAreThoseOfShiftJis) {
    for (unsigned byte : {0x81u, 0x82u, 0x9Fu, 0xE0u, 0xFCu}) {
        EXPECT_TRUE(codePage.isLeadByte(static_cast<unsigned char>(byte))) << std::hex << byte;
    }
    for (unsigned byte : {0x22u, 0x41u, 0x7Fu, 0xA1u, 0xDFu}) {
        EXPECT_FALSE(codePage.isLeadByte(static_cast<unsigned char>(byte))) << std::hex << byte;
    }
}

TEST_F(CodePage932, UpperCasingLeavesTrailingBytesAlone) {
    EXPECT_EQ(codePage.upper(std::string("ab") + "\x83\x61" + "c"), std::string("AB") + "\x83\x61" + "C")
        << hex(codePage.upper(std::string("ab") + "\x83\x61" + "c"));
}

TEST_F(CodePage932, UpperCasingCoversDoubleByteLetters) {
    EXPECT_EQ(codePage.upper(kFullWidthSmallA932), kFullWidthCapitalA932)
        << hex(codePage.upper(kFullWidthSmallA932));
}

TEST_F(CodePage932, Utf8FileBecomesShiftJis) {
    TemporaryFolder folder;
    std::string text;
    ASSERT_TRUE(
        Utf8TextFile().readFile(folder.write("t.txt", std::string(kKatakanaA8) + kKatakanaSo8), text));
    EXPECT_EQ(text, std::string(kKatakanaA932) + kKatakanaSo932) << hex(text);
}

class StringTable932 : public CodePage932 {
protected:
    void load(const std::string& content) { ASSERT_TRUE(table.load(folder.write("strings.xml", content))); }
    TemporaryFolder folder;
    StringTable table{AnsiCodePage::instance()};
};

TEST_F(StringTable932, KeysAndTextsKeepTheirDoubleByteCharacters) {
    load(std::string("<s k=\"") + kKatakanaSo8 + "\" v=\"" + kKatakanaSo8 + kKatakanaA8 + "\"/>\n");
    EXPECT_EQ(table.lookup(kKatakanaSo932), std::string(kKatakanaSo932) + kKatakanaA932)
        << hex(table.lookup(kKatakanaSo932));
}

TEST_F(StringTable932, LookupIgnoresCaseOfDoubleByteLetters) {
    load(std::string("<s k=\"Label") + kFullWidthSmallA8 + "\" v=\"found\"/>\n");
    EXPECT_EQ(table.lookup(std::string("LABEL") + kFullWidthCapitalA932), "found");
}

TEST_F(StringTable932, TrailingByteNeverMatchesAsALetter) {
    load(std::string("<s k=\"") + kKatakanaA8 + "\" v=\"katakana\"/>\n" + "<s k=\"" + kKatakanaA8 +
         "a\" v=\"with letter\"/>\n");
    EXPECT_EQ(table.lookup("a"), "a");
    EXPECT_EQ(table.lookup(std::string(kKatakanaA932)), "katakana");
    EXPECT_EQ(table.countKeysContaining("a"), 1) << "a trailing byte 0x41 was counted as the letter";
    EXPECT_EQ(table.countKeysContaining(kKatakanaA932), 2);
}

}  // namespace
