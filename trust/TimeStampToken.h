#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace trust {

// When a time-stamping authority saw a signature, read from the authority's RFC 3161 token: a CMS ContentInfo
// whose signed content is the authority's TSTInfo, which carries the time. Given as "YYYY-MM-DD hh:mm:ss UTC"
// (fractions of a second dropped). Nothing when the token is not one or does not parse: the bytes come from a
// file under inspection, so every length is checked against what is there and nothing is trusted.
std::optional<std::string> timeStampTokenTime(const unsigned char* token, std::size_t size);

// The same from the older Authenticode countersignature (PKCS #9 counterSignature): a SignerInfo of the
// time-stamping authority whose authenticated signingTime attribute holds the time, as UTCTime or
// GeneralizedTime. Read with the same care.
std::optional<std::string> counterSignatureTime(const unsigned char* signerInfo, std::size_t size);

}  // namespace trust
