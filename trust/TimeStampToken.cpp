#include "trust/TimeStampToken.h"

#include <cstring>

namespace trust {
namespace {

// DER identifier octets of the elements on the way to the time.
constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kOctetString = 0x04;
constexpr unsigned char kObjectIdentifier = 0x06;
constexpr unsigned char kUtcTime = 0x17;
constexpr unsigned char kGeneralizedTime = 0x18;
constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kSet = 0x31;
constexpr unsigned char kExplicitZero = 0xA0;
// A SignerInfo's authenticated attributes: [0] IMPLICIT SET OF Attribute.
constexpr unsigned char kImplicitZero = 0xA0;
// The contents of the two object identifiers that say what is inside: CMS signed data
// (1.2.840.113549.1.7.2) and a time-stamp's TSTInfo (1.2.840.113549.1.9.16.1.4).
constexpr unsigned char kSignedData[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr unsigned char kTstInfo[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x10, 0x01, 0x04};
// PKCS #9 signingTime (1.2.840.113549.1.9.5), the time in an older Authenticode countersignature.
constexpr unsigned char kSigningTime[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x05};
// Long-form lengths beyond four octets describe more than any token holds.
constexpr std::size_t kMaxLengthOctets = 4;

struct Bytes {
    const unsigned char* data;
    std::size_t size;
};

// Takes the element at the front of `in` if its identifier is `tag`: its contents go to `contents` and `in`
// moves past it. Only DER's definite lengths are read; an indefinite length or a high tag number is refused.
bool take(Bytes& in, unsigned char tag, Bytes& contents) {
    if (in.size < 2 || in.data[0] != tag) return false;
    std::size_t header = 2;
    std::size_t length = in.data[1];
    if (length & 0x80) {
        const std::size_t octets = length & 0x7F;
        if (octets == 0 || octets > kMaxLengthOctets || octets > in.size - header) return false;
        length = 0;
        for (std::size_t index = 0; index < octets; ++index) length = (length << 8) | in.data[header + index];
        header += octets;
    }
    if (length > in.size - header) return false;
    contents = {in.data + header, length};
    in.data += header + length;
    in.size -= header + length;
    return true;
}

bool skip(Bytes& in, unsigned char tag) {
    Bytes ignored{};
    return take(in, tag, ignored);
}

template <std::size_t N>
bool takeIdentifier(Bytes& in, const unsigned char (&expected)[N]) {
    Bytes identifier{};
    return take(in, kObjectIdentifier, identifier) && identifier.size == N &&
           std::memcmp(identifier.data, expected, N) == 0;
}

// Reads `count` decimal digits at `text` into `value`, within [low, high].
bool number(const unsigned char* text, int count, int low, int high, int& value) {
    value = 0;
    for (int index = 0; index < count; ++index) {
        if (text[index] < '0' || text[index] > '9') return false;
        value = value * 10 + (text[index] - '0');
    }
    return value >= low && value <= high;
}

// YYYYMMDDhhmmss at `digits`, shown as "YYYY-MM-DD hh:mm:ss UTC"; nothing when a field is out of range.
std::optional<std::string> formatDigits(const unsigned char* digits) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!number(digits, 4, 0, 9999, year) || !number(digits + 4, 2, 1, 12, month) ||
        !number(digits + 6, 2, 1, 31, day) || !number(digits + 8, 2, 0, 23, hour) ||
        !number(digits + 10, 2, 0, 59, minute) || !number(digits + 12, 2, 0, 60, second)) {
        return std::nullopt;
    }
    const char* d = reinterpret_cast<const char*>(digits);
    std::string text;
    text.append(d, 4).append("-").append(d + 4, 2).append("-").append(d + 6, 2).append(" ");
    text.append(d + 8, 2).append(":").append(d + 10, 2).append(":").append(d + 12, 2).append(" UTC");
    return text;
}

// GeneralizedTime as RFC 3161 requires it: YYYYMMDDhhmmss, an optional fraction, and Z.
std::optional<std::string> formatTime(const Bytes& time) {
    constexpr std::size_t kDigits = 14;
    if (time.size < kDigits + 1 || time.data[time.size - 1] != 'Z') return std::nullopt;
    const std::size_t fraction = time.size - 1 - kDigits;
    if (fraction != 0) {
        if (fraction < 2 || time.data[kDigits] != '.') return std::nullopt;
        for (std::size_t index = kDigits + 1; index < time.size - 1; ++index) {
            if (time.data[index] < '0' || time.data[index] > '9') return std::nullopt;
        }
    }
    return formatDigits(time.data);
}

// UTCTime as X.509 uses it: YYMMDDhhmmssZ, the years 1950 to 2049.
std::optional<std::string> formatUtcTime(const Bytes& time) {
    constexpr std::size_t kDigits = 12;
    if (time.size != kDigits + 1 || time.data[kDigits] != 'Z') return std::nullopt;
    int year = 0;
    if (!number(time.data, 2, 0, 99, year)) return std::nullopt;
    unsigned char digits[14];
    digits[0] = year >= 50 ? '1' : '2';
    digits[1] = year >= 50 ? '9' : '0';
    std::memcpy(digits + 2, time.data, kDigits);
    return formatDigits(digits);
}

}  // namespace

std::optional<std::string> timeStampTokenTime(const unsigned char* token, std::size_t size) {
    if (token == nullptr) return std::nullopt;
    Bytes in{token, size};
    // ContentInfo ::= SEQUENCE { contentType, [0] EXPLICIT SignedData }
    Bytes contentInfo{}, explicitContent{}, signedData{};
    if (!take(in, kSequence, contentInfo) || !takeIdentifier(contentInfo, kSignedData) ||
        !take(contentInfo, kExplicitZero, explicitContent) || !take(explicitContent, kSequence, signedData)) {
        return std::nullopt;
    }
    // SignedData ::= SEQUENCE { version, digestAlgorithms SET, encapContentInfo, ... }
    // encapContentInfo ::= SEQUENCE { eContentType, [0] EXPLICIT OCTET STRING }
    Bytes encapsulated{}, explicitOctets{}, octets{};
    if (!skip(signedData, kInteger) || !skip(signedData, kSet) ||
        !take(signedData, kSequence, encapsulated) || !takeIdentifier(encapsulated, kTstInfo) ||
        !take(encapsulated, kExplicitZero, explicitOctets) || !take(explicitOctets, kOctetString, octets)) {
        return std::nullopt;
    }
    // TSTInfo ::= SEQUENCE { version, policy, messageImprint, serialNumber, genTime, ... }
    Bytes tstInfo{}, time{};
    if (!take(octets, kSequence, tstInfo) || !skip(tstInfo, kInteger) || !skip(tstInfo, kObjectIdentifier) ||
        !skip(tstInfo, kSequence) || !skip(tstInfo, kInteger) || !take(tstInfo, kGeneralizedTime, time)) {
        return std::nullopt;
    }
    return formatTime(time);
}

std::optional<std::string> counterSignatureTime(const unsigned char* signerInfo, std::size_t size) {
    if (signerInfo == nullptr) return std::nullopt;
    Bytes in{signerInfo, size};
    // SignerInfo ::= SEQUENCE { version, issuerAndSerialNumber, digestAlgorithm,
    //                           authenticatedAttributes [0] IMPLICIT SET OF Attribute, ... }
    Bytes info{}, attributes{};
    if (!take(in, kSequence, info) || !skip(info, kInteger) || !skip(info, kSequence) || !skip(info, kSequence) ||
        !take(info, kImplicitZero, attributes)) {
        return std::nullopt;
    }
    // Attribute ::= SEQUENCE { type OBJECT IDENTIFIER, values SET OF value }
    while (attributes.size > 0) {
        Bytes attribute{}, values{}, time{};
        if (!take(attributes, kSequence, attribute)) return std::nullopt;
        Bytes type = attribute;
        if (!takeIdentifier(type, kSigningTime)) continue;
        if (!take(type, kSet, values)) return std::nullopt;
        if (take(values, kUtcTime, time)) return formatUtcTime(time);
        if (take(values, kGeneralizedTime, time)) return formatTime(time);
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace trust
