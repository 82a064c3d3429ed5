#include "text/StringTable.h"

#include <gtest/gtest.h>

#include <string>

#include "tools/testing/ModelCodePages.h"

namespace {

const SingleByteCodePage kSingleByte;
const FakeDoubleByteCodePage kDoubleByte;

std::string line(const std::string& key, const std::string& value) {
    return "  <string id=\"" + key + "\" text=\"" + value + "\"/>\n";
}

class StringTableParse : public ::testing::Test {
protected:
    StringTable table{kSingleByte};
};

TEST_F(StringTableParse, ElementWithTwoAttributesGivesKeyAndText) {
    EXPECT_TRUE(table.parse("<strings>\n" + line("LangAboutTitle", "About") + "</strings>\n"));
    EXPECT_EQ(table.lookup("LangAboutTitle"), "About");
}

TEST_F(StringTableParse, LinesWithoutQuotesAndEmptyLinesAreSkipped) {
    EXPECT_TRUE(table.parse("no quotes here\n\n\n" + line("K", "V") + "\n"));
    EXPECT_EQ(table.lookup("K"), "V");
    EXPECT_EQ(table.countKeysContaining("o"), 0) << "a line without quotes became an entry";
}

TEST_F(StringTableParse, FileWithoutEntriesReportsFailure) {
    EXPECT_FALSE(table.parse(""));
    EXPECT_FALSE(table.parse("<strings>\n</strings>\n"));
    EXPECT_FALSE(table.parse("a\"only key\"\n"));
}

TEST_F(StringTableParse, ValueWithoutClosingQuoteRunsToEndOfLineWithCarriageReturn) {
    EXPECT_TRUE(table.parse("<s id=\"K\" text=\"open value\r\n"));
    EXPECT_EQ(table.lookup("K"), "open value\r");
}

TEST_F(StringTableParse, CarriageReturnStaysPartOfTheLine) {
    table.parse("<s id=\"K\" text=\"V\"\r\n");
    EXPECT_EQ(table.lookup("K"), "V");
    table.parse("<s id=\"K\" text=\"V\"/>\r\n");
    EXPECT_EQ(table.lookup("K"), "V");
}

TEST_F(StringTableParse, LineStartingWithQuoteDiscardsItsFirstQuotedText) {
    EXPECT_TRUE(table.parse("\"first\"key\"between\"value\"\n"));
    EXPECT_EQ(table.lookup("key"), "value");
    EXPECT_EQ(table.lookup("first"), "first") << "the first quoted text became a key";
}

TEST_F(StringTableParse, FieldsAfterTheValueAreIgnored) {
    EXPECT_TRUE(table.parse("a\"K\"b\"V\"c\"d\"e\n"));
    EXPECT_EQ(table.lookup("K"), "V");
}

TEST_F(StringTableParse, AdjacentQuotesFormOneCut) {
    // The key's closing quote meets the value's opening quote: the value is read as the discarded third
    // field.
    table.parse("a\"K\"\"V\"\n" + line("Next", "N"));
    EXPECT_EQ(table.lookup("K"), "K") << "entry completed from an adjacent-quote line";
    EXPECT_EQ(table.lookup("Next"), "N");
    // An empty quoted value: the text after the run becomes the value.
    table.parse("<s id=\"K\" text=\"\"/>\n");
    EXPECT_EQ(table.lookup("K"), "/>");
}

TEST_F(StringTableParse, LineWithOneQuotedTextLeavesItsKeyWithoutText) {
    EXPECT_FALSE(table.parse("a\"Lonely\"\n"));
    EXPECT_EQ(table.lookup("Lonely"), "") << "the key-only slot should answer with an empty text";
    EXPECT_EQ(table.countKeysContaining("Lonely"), 1);
}

TEST_F(StringTableParse, KeyWithoutTextIsOverwrittenByTheNextKey) {
    EXPECT_TRUE(table.parse("a\"Lonely\"\n" + line("K", "V")));
    EXPECT_EQ(table.lookup("Lonely"), "Lonely");
    EXPECT_EQ(table.lookup("K"), "V");
}

TEST_F(StringTableParse, LinesWithTwoThreeAndFiveQuotedTexts) {
    // Two quoted texts with nothing after: a complete entry.
    table.parse("a\"K\"b\"V\"\n");
    EXPECT_EQ(table.lookup("K"), "V");
    // Three cuts, the last at the line's end: key only.
    table.parse("a\"K\"b\"\n");
    EXPECT_EQ(table.lookup("K"), "");
    // Five quoted texts: the second is the key, the fourth the text.
    table.parse("\"1\"2\"3\"4\"5\"\n");
    EXPECT_EQ(table.lookup("2"), "4");
}

TEST_F(StringTableParse, FirstOf260CompleteLinesUpTo249AreLoaded) {
    std::string content;
    for (int i = 1; i <= 260; ++i) content += line("Key" + std::to_string(i), "Text" + std::to_string(i));
    EXPECT_TRUE(table.parse(content));
    EXPECT_EQ(table.lookup("Key1"), "Text1");
    EXPECT_EQ(table.lookup("Key249"), "Text249");
    EXPECT_EQ(table.lookup("Key250"), "Key250") << "line 250 was loaded";
    EXPECT_EQ(table.lookup("Key260"), "Key260");
    EXPECT_EQ(table.countKeysContaining("Key"), 249);
}

TEST_F(StringTableParse, ParsingAgainReplacesTheEarlierEntries) {
    table.parse(line("Old", "1"));
    table.parse(line("New", "2"));
    EXPECT_EQ(table.lookup("Old"), "Old");
    EXPECT_EQ(table.lookup("New"), "2");
}

TEST_F(StringTableParse, KeysAndTextsAreTakenByteForByte) {
    table.parse("<s id=\" K \" text=\" &amp; \xE9 \"/>\n");
    EXPECT_EQ(table.lookup(" K "), " &amp; \xE9 ");
    EXPECT_EQ(table.lookup("K"), "K");
}

class StringTableLookup : public ::testing::Test {
protected:
    StringTable table{kSingleByte};
};

TEST_F(StringTableLookup, IgnoresLetterCase) {
    table.parse(line("LANGABOUTTITLE", "About") + line("Caf\xE9", "Coffee"));
    EXPECT_EQ(table.lookup("LangAboutTitle"), "About");
    EXPECT_EQ(table.lookup("CAF\xC9"), "Coffee");
}

TEST_F(StringTableLookup, UnknownKeyComesBackInTheCallersSpelling) {
    table.parse(line("K", "V"));
    EXPECT_EQ(table.lookup("LabelUnknownID"), "LabelUnknownID");
    EXPECT_EQ(table.lookup(""), "");
}

TEST_F(StringTableLookup, DuplicateKeyAnswersWithTheFirstText) {
    table.parse(line("Dup", "first") + line("DUP", "second"));
    EXPECT_EQ(table.lookup("dup"), "first");
    EXPECT_EQ(table.countKeysContaining("dup"), 2);
}

TEST_F(StringTableLookup, EmptyTableAnswersEveryKeyWithItself) {
    EXPECT_EQ(table.lookup("Lang"), "Lang");
    EXPECT_EQ(table.countKeysContaining("L"), 0);
}

TEST_F(StringTableLookup, NothingIsTrimmed) {
    table.parse(line("Key", "V"));
    EXPECT_EQ(table.lookup("Key "), "Key ");
}

TEST(StringTableCount, CountsKeysContainingTheTextIgnoringCase) {
    StringTable table(kSingleByte);
    table.parse(line("LabelDropDownQualityID0", "a") + line("LabelDropDownQualityID1", "b") +
                line("SupertipDropDownQualityID", "c") + line("LabelOther", "d"));
    EXPECT_EQ(table.countKeysContaining("labeldropdownqualityid"), 2);
    EXPECT_EQ(table.countKeysContaining("QUALITY"), 3);
    EXPECT_EQ(table.countKeysContaining("absent"), 0);
}

TEST(StringTableCount, LongerKeysLeaveOutTheTextItselfInAnyCase) {
    StringTable table(kSingleByte);
    table.parse(line("LabelDropDownQualityID", "Quality") + line("LabelDropDownQualityID0", "a") +
                line("labeldropdownqualityid1", "b") + line("LABELDROPDOWNQUALITYID", "again") +
                line("XLabelDropDownQualityIDX", "inside"));
    EXPECT_EQ(table.countKeysContaining("LabelDropDownQualityID"), 5);
    EXPECT_EQ(table.countLongerKeysContaining("LabelDropDownQualityID"), 3);
    EXPECT_EQ(table.countLongerKeysContaining(""), 0);
}

TEST(StringTableEntries, KeysAndTextsInTheFilesOrderIncludingAKeyWithoutText) {
    StringTable table(kSingleByte);
    EXPECT_EQ(table.size(), 0u);
    table.parse(line("First", "1") + line("Second", "2") + "<s k=\"Dangling\"/>\n");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table.key(1), "Second");
    EXPECT_EQ(table.value(1), "2");
    EXPECT_EQ(table.key(2), "Dangling");
    EXPECT_EQ(table.value(2), "");
}

TEST(StringTableCount, EmptyTextCountsNothing) {
    StringTable table(kSingleByte);
    table.parse(line("K", "V"));
    EXPECT_EQ(table.countKeysContaining(""), 0);
}

TEST(StringTableDoubleByte, QuoteInsideADoubleByteCharacterDoesNotCut) {
    StringTable table(kDoubleByte);
    // 0x81 0x22 is one character in this code page: its second byte is not a quote.
    table.parse("a\"K\x81\"x\"b\"V\"\n");
    EXPECT_EQ(table.lookup("K\x81\"x"), "V");
}

TEST(StringTableDoubleByte, UpperCasingLeavesDoubleByteCharactersWhole) {
    StringTable table(kDoubleByte);
    table.parse(line("\x83"
                     "a",
                     "small") +
                line("\x83"
                     "A",
                     "capital"));
    EXPECT_EQ(table.lookup("\x83"
                           "a"),
              "small")
        << "the trailing byte was upper-cased as a letter";
    EXPECT_EQ(table.lookup("\x83"
                           "A"),
              "capital");
    EXPECT_EQ(table.lookup("\x83"
                           "ax"),
              "\x83"
              "ax");
    EXPECT_EQ(table.lookup("\x83"
                           "aX"),
              "\x83"
              "aX");
}

TEST(StringTableDoubleByte, NoMatchStartsOnATrailingByte) {
    StringTable table(kDoubleByte);
    table.parse(line("\x83"
                     "A",
                     "1") +
                line("\x83"
                     "AA",
                     "2") +
                line("x\x83\x83"
                     "A",
                     "3"));
    // In the first key "A" is the second byte of a character. In the third, 0x83 0x83 is one character: its
    // "A" stands alone, but the 0x83 0x41 seen across the character boundary starts on a trailing byte.
    EXPECT_EQ(table.countKeysContaining("a"), 2);
    EXPECT_EQ(table.countKeysContaining("\x83"
                                        "A"),
              2);
}

TEST(StringTablePlaceholders, EveryOccurrenceIsReplacedInOrder) {
    EXPECT_EQ(StringTable::substitutePlaceholders("%PRODUCT% by %OEM% (%OEM_FULL%), %PRODUCT%"),
              "Quillery by Corvane (Corvane International, Inc.), Quillery");
}

TEST(StringTablePlaceholders, LetterCaseMattersAndUnknownNamesStay) {
    EXPECT_EQ(StringTable::substitutePlaceholders("%product% %Oem% %COPYRIGHT_YEARS% 100%"),
              "%product% %Oem% %COPYRIGHT_YEARS% 100%");
}

TEST(StringTablePlaceholders, InsertedTextIsNotScannedAgain) {
    EXPECT_EQ(StringTable::substitutePlaceholders("%OEM%OEM%"), "CorvaneOEM%");
    EXPECT_EQ(StringTable::substitutePlaceholders("%%PRODUCT%%"), "%Quillery%");
}

TEST(StringTablePlaceholders, TextsAreSubstitutedWhenParsed) {
    StringTable table(kSingleByte);
    table.parse(line("LangAboutTitle", "About %PRODUCT%") + line("%PRODUCT%", "key kept"));
    EXPECT_EQ(table.lookup("LangAboutTitle"), "About Quillery");
    EXPECT_EQ(table.lookup("%product%"), "key kept") << "keys are not substituted";
}

TEST(StringTableLargeFile, ManyMegabytesParseAndStayBounded) {
    // 50 MB of lines that each leave a key without a text, then one complete entry: every line is visited.
    const std::string keyOnly = "<s id=\"Pending\"/>\n";
    std::string content;
    content.reserve(50u << 20);
    while (content.size() + keyOnly.size() < (50u << 20)) content += keyOnly;
    content += line("Last", "done");
    StringTable table(kDoubleByte);
    EXPECT_TRUE(table.parse(content));
    EXPECT_EQ(table.lookup("Last"), "done");
    EXPECT_EQ(table.countKeysContaining("Pending"), 0);
}

}  // namespace
