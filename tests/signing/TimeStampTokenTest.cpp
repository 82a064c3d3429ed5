#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "trust/TimeStampToken.h"

namespace {

// DER by hand: identifier, length (short or long form), contents.
std::string der(unsigned char tag, const std::string& contents) {
    std::string length;
    if (contents.size() < 0x80) {
        length.push_back(static_cast<char>(contents.size()));
    } else {
        for (std::size_t size = contents.size(); size != 0; size >>= 8) {
            length.insert(length.begin(), static_cast<char>(size & 0xFF));
        }
        length.insert(length.begin(), static_cast<char>(0x80 | length.size()));
    }
    return std::string(1, static_cast<char>(tag)) + length + contents;
}

const std::string kSignedDataOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x02";
const std::string kTstInfoOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x10\x01\x04";
const std::string kDataOid = "\x2A\x86\x48\x86\xF7\x0D\x01\x07\x01";

// The parts of a token that rows vary; the rest is as an authority writes it.
struct TokenParts {
    std::string contentType = kSignedDataOid;
    std::string contentOfContentType = kTstInfoOid;
    unsigned char timeTag = 0x18;
    std::string time = "20260314091530Z";
    std::size_t imprintSize = 32;  // a SHA-256 digest; larger ones make every enclosing length long-form
};

std::string token(const TokenParts& parts) {
    const std::string sha256 = der(0x30, der(0x06, "\x60\x86\x48\x01\x65\x03\x04\x02\x01") + der(0x05, ""));
    const std::string imprint = der(0x30, sha256 + der(0x04, std::string(parts.imprintSize, '\x5A')));
    const std::string tstInfo =
        der(0x30, der(0x02, std::string(1, '\x01')) + der(0x06, "\x2A\x03\x04") + imprint +
                      der(0x02, "\x12\x34") + der(parts.timeTag, parts.time));
    const std::string encapsulated =
        der(0x30, der(0x06, parts.contentOfContentType) + der(0xA0, der(0x04, tstInfo)));
    const std::string signedData =
        der(0x30, der(0x02, std::string(1, '\x03')) + der(0x31, sha256) + encapsulated + der(0x31, ""));
    return der(0x30, der(0x06, parts.contentType) + der(0xA0, signedData));
}

std::string with(void (*change)(TokenParts&)) {
    TokenParts parts;
    change(parts);
    return token(parts);
}

struct Row {
    const char* name;
    std::string bytes;
    std::optional<std::string> time;
};

TEST(TimeStampTokenTest, ReadsTheAuthoritysTimeAndRefusesWhatIsNotAToken) {
    const std::string good = token(TokenParts{});
    const Row rows[] = {
        {"whole seconds", good, "2026-03-14 09:15:30 UTC"},
        {"a fraction of a second", with([](TokenParts& p) { p.time = "20260314091530.125Z"; }),
         "2026-03-14 09:15:30 UTC"},
        {"long-form lengths", with([](TokenParts& p) { p.imprintSize = 300; }), "2026-03-14 09:15:30 UTC"},
        {"a leap second", with([](TokenParts& p) { p.time = "20161231235960Z"; }), "2016-12-31 23:59:60 UTC"},
        {"not signed data", with([](TokenParts& p) { p.contentType = kDataOid; }), std::nullopt},
        {"signed data that is no TSTInfo", with([](TokenParts& p) { p.contentOfContentType = kDataOid; }),
         std::nullopt},
        {"a UTCTime", with([](TokenParts& p) {
             p.timeTag = 0x17;
             p.time = "260314091530Z";
         }),
         std::nullopt},
        {"a local time", with([](TokenParts& p) { p.time = "20260314091530"; }), std::nullopt},
        {"a time with an offset", with([](TokenParts& p) { p.time = "20260314091530+0100"; }), std::nullopt},
        {"month 13", with([](TokenParts& p) { p.time = "20261314091530Z"; }), std::nullopt},
        {"hour 24", with([](TokenParts& p) { p.time = "20260314241530Z"; }), std::nullopt},
        {"a letter in the time", with([](TokenParts& p) { p.time = "2026031409153OZ"; }), std::nullopt},
        {"a point without a fraction", with([](TokenParts& p) { p.time = "20260314091530.Z"; }),
         std::nullopt},
        {"a fraction with a letter", with([](TokenParts& p) { p.time = "20260314091530.1xZ"; }),
         std::nullopt},
        {"a short time", with([](TokenParts& p) { p.time = "202603140915Z"; }), std::nullopt},
        {"cut by one byte", good.substr(0, good.size() - 1), std::nullopt},
        {"cut inside the time", good.substr(0, good.size() - 8), std::nullopt},
        {"cut after the header", good.substr(0, 2), std::nullopt},
        {"an indefinite length", "\x30\x80" + good.substr(2) + std::string(2, '\0'), std::nullopt},
        {"a five-octet length", std::string("\x30\x85\x00\x00\x00\x00\x10", 7) + std::string(16, '\0'),
         std::nullopt},
        {"a length past the end", std::string("\x30\x84\xFF\xFF\xFF\xF0", 6) + good, std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(trust::timeStampTokenTime(reinterpret_cast<const unsigned char*>(row.bytes.data()),
                                            row.bytes.size()),
                  row.time)
            << row.name;
    }
    EXPECT_EQ(trust::timeStampTokenTime(nullptr, 0), std::nullopt);
}

// The older Authenticode countersignature: the authority's SignerInfo, its signingTime among the
// authenticated attributes after another attribute.
std::string counterSignature(const std::string& signingTime, unsigned char attributesTag = 0xA0) {
    const std::string sha1 = der(0x30, der(0x06, "\x2B\x0E\x03\x02\x1A") + der(0x05, ""));
    const std::string contentType = der(0x30, der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x03") +
                                                  der(0x31, der(0x06, kDataOid)));
    const std::string timeAttribute =
        signingTime.empty() ? ""
                            : der(0x30, der(0x06, "\x2A\x86\x48\x86\xF7\x0D\x01\x09\x05") +
                                            der(0x31, signingTime));
    return der(0x30, der(0x02, std::string(1, '\x01')) + der(0x30, der(0x30, "") + der(0x02, "\x07")) + sha1 +
                         der(attributesTag, contentType + timeAttribute) + sha1 + der(0x04, "signature"));
}

TEST(TimeStampTokenTest, ReadsTheOlderCounterSignaturesSigningTime) {
    const std::string utc = counterSignature(der(0x17, "260314091530Z"));
    const Row rows[] = {
        {"a UTCTime", utc, "2026-03-14 09:15:30 UTC"},
        {"a UTCTime of the last century", counterSignature(der(0x17, "990101000000Z")),
         "1999-01-01 00:00:00 UTC"},
        {"UTCTime's first year", counterSignature(der(0x17, "500101000000Z")), "1950-01-01 00:00:00 UTC"},
        {"UTCTime's last year", counterSignature(der(0x17, "491231235959Z")), "2049-12-31 23:59:59 UTC"},
        {"a GeneralizedTime", counterSignature(der(0x18, "20260314091530Z")), "2026-03-14 09:15:30 UTC"},
        {"no signing time", counterSignature(""), std::nullopt},
        {"a UTCTime with seconds missing", counterSignature(der(0x17, "2603140915Z")), std::nullopt},
        {"attributes not where they belong", counterSignature(der(0x17, "260314091530Z"), 0x31),
         std::nullopt},
        {"cut inside the time", utc.substr(0, utc.size() / 2), std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(trust::counterSignatureTime(reinterpret_cast<const unsigned char*>(row.bytes.data()),
                                              row.bytes.size()),
                  row.time)
            << row.name;
    }
}

}  // namespace
