#include "text/Utf8Decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Decodes `bytes`; on failure returns the marker the test started `units` with, so a failed decode that
// touched the output shows up as a mismatch.
struct Decoded {
    bool ok;
    std::u16string units;
};

Decoded decode(const std::string& bytes, const std::u16string& before = u"") {
    Decoded result{false, before};
    result.ok = decodeUtf8(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), result.units);
    return result;
}

std::string hex(const std::u16string& units) {
    std::string text;
    char buffer[8];
    for (char16_t unit : units) {
        snprintf(buffer, sizeof buffer, "%04X ", static_cast<unsigned>(unit));
        text += buffer;
    }
    return text;
}

#define EXPECT_DECODES_TO(bytes, expected)                                         \
    do {                                                                           \
        const Decoded decoded = decode(bytes);                                     \
        EXPECT_TRUE(decoded.ok) << "input rejected";                               \
        EXPECT_EQ(decoded.units, expected) << "decoded to " << hex(decoded.units); \
    } while (0)

#define EXPECT_REJECTED(bytes)                                                           \
    do {                                                                                 \
        const Decoded decoded = decode(bytes, u"kept");                                  \
        EXPECT_FALSE(decoded.ok) << "accepted as " << hex(decoded.units);                \
        EXPECT_EQ(decoded.units, u"kept") << "output changed to " << hex(decoded.units); \
    } while (0)

TEST(Utf8DecoderWellFormed, AsciiAndTwoByteSequenceDecodeToOneUnitEach) {
    EXPECT_DECODES_TO(std::string("A\xC3\xA9"), u"A\u00E9");
}

TEST(Utf8DecoderWellFormed, ThreeByteSequenceDecodesToItsCodePoint) {
    EXPECT_DECODES_TO(std::string("\xE3\x82\xA2\xE2\x82\xAC"), u"\u30A2\u20AC");
}

TEST(Utf8DecoderWellFormed, FourByteSequenceBecomesOneReplacementUnit) {
    EXPECT_DECODES_TO(std::string("a\xF0\x9F\x98\x80z"), std::u16string(u"a") + kFourByteSequenceUnit + u"z");
}

TEST(Utf8DecoderWellFormed, AppendsToWhatTheOutputAlreadyHolds) {
    std::u16string units = u"xy";
    ASSERT_TRUE(decodeUtf8(reinterpret_cast<const unsigned char*>("ab"), 2, units));
    EXPECT_EQ(units, u"xyab");
}

TEST(Utf8DecoderWellFormed, EmptyInputGivesNoUnit) {
    EXPECT_DECODES_TO(std::string(), u"");
}

TEST(Utf8DecoderWellFormed, LongAsciiRunsAroundMultiByteCharactersKeepTheirOrder) {
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 100; ++i) {
        bytes += std::string(static_cast<std::size_t>(i % 37), 'a' + i % 26) + "\xC3\xA9";
        expected +=
            std::u16string(static_cast<std::size_t>(i % 37), static_cast<char16_t>('a' + i % 26)) + u"\u00E9";
    }
    EXPECT_DECODES_TO(bytes, expected);
}

TEST(Utf8DecoderWellFormed, InputSpanningManyBuffersOfUnitsComesOutWhole) {
    std::string bytes;
    std::u16string expected;
    for (int i = 0; i < 5000; ++i) {
        const std::size_t run = static_cast<std::size_t>(i * 7 % 71);
        bytes += std::string(run, 'x') + "\xE3\x82\xA2" + std::string(run % 3, '\xA9');
        expected += std::u16string(run, u'x') + u"\u30A2" + std::u16string(run % 3, u'\u00A9');
    }
    EXPECT_DECODES_TO(bytes, expected);
}

TEST(Utf8DecoderMalformed, FaultFarIntoALongInputLeavesTheOutputAsItWas) {
    EXPECT_REJECTED(std::string(100000, 'a') + "\xE3\x82");
    EXPECT_REJECTED(std::string(100000, 'a') + "\xFF" + std::string(100, 'a'));
}

TEST(Utf8DecoderLenient, StrayContinuationBytePassesAsItsOwnValue) {
    EXPECT_DECODES_TO(std::string("\xA9"), u"\u00A9");
    EXPECT_DECODES_TO(std::string("\x80\xBF"), u"\u0080\u00BF");
}

TEST(Utf8DecoderLenient, OverlongFormsDecodeToTheirValue) {
    EXPECT_DECODES_TO(std::string("\xC0\x80", 2), std::u16string(1, u'\0'));
    EXPECT_DECODES_TO(std::string("\xC1\xBF"), u"\u007F");
    EXPECT_DECODES_TO(std::string("\xE0\x80\xAF"), u"/");
}

TEST(Utf8DecoderLenient, SurrogateCodePointsDecodeToLoneUnits) {
    EXPECT_DECODES_TO(std::string("\xED\xA0\x80\xED\xBF\xBF"), u"\xD800\xDFFF");
}

TEST(Utf8DecoderLenient, ByteOrderMarkIsKept) {
    EXPECT_DECODES_TO(std::string("\xEF\xBB\xBFX"), u"\uFEFFX");
}

TEST(Utf8DecoderLenient, NulBytesAreUnitsLikeAnyOther) {
    EXPECT_DECODES_TO(std::string("A\0B", 3), std::u16string(u"A\0B", 3));
}

TEST(Utf8DecoderLenient, LineEndsPassUnchanged) {
    EXPECT_DECODES_TO(std::string("a\r\nb\n"), u"a\r\nb\n");
}

TEST(Utf8DecoderMalformed, SequenceRunningPastTheEndRejectsTheWholeInput) {
    EXPECT_REJECTED(std::string("abc\xC3"));
    EXPECT_REJECTED(std::string("\xE3\x82"));
    EXPECT_REJECTED(std::string("\xF0\x9F\x98"));
}

TEST(Utf8DecoderMalformed, LeadBytesF8ToFFAreRejectedEvenWithEnoughBytesAfter) {
    for (unsigned lead = 0xF8; lead <= 0xFF; ++lead) {
        const std::string bytes = std::string(1, static_cast<char>(lead)) + std::string(8, '\x80');
        const Decoded decoded = decode(bytes, u"kept");
        EXPECT_FALSE(decoded.ok) << "lead byte " << std::hex << lead << " accepted";
        EXPECT_EQ(decoded.units, u"kept");
    }
}

TEST(Utf8DecoderMalformed, MissingContinuationByteRejectsTheWholeInput) {
    EXPECT_REJECTED(std::string("\xC3\x41"));
    EXPECT_REJECTED(std::string("\xE3\x82\x41"));
    EXPECT_REJECTED(std::string("\xF0\x9F\xC0\x80"));
    EXPECT_REJECTED(std::string(64, 'a') + "\xC3\xC3\xA9");
}

}  // namespace
