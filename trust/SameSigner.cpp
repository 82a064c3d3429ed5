#include "trust/SameSigner.h"

#include <cstdio>

namespace trust {
namespace {

std::string hex(long code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

}  // namespace

std::string whyNotSameSigner(const Signature& own, const Signature& other) {
    if (!own.present) return {};
    // Unverified, this program's own certificate is no more than bytes anyone may copy from a release.
    if (!own.verifies)
        return "this doctor's own signature does not verify (" + hex(own.trustResult) +
               "), so it cannot vouch for another program";
    if (!other.present) return "it is not signed, and this doctor is";
    if (!other.verifies) return "its signature does not verify (" + hex(other.trustResult) + ")";
    if (!other.revocationChecked)
        return "revocation not checked: whether its signing certificate is revoked could not be learnt";
    if (!own.signerCertificate.empty() && other.signerCertificate == own.signerCertificate) return {};
    if (!own.signerPublicKey.empty() && other.signerPublicKey == own.signerPublicKey) return {};
    return "it is not signed by this doctor's signer: its certificate is another, with another key";
}

}  // namespace trust
