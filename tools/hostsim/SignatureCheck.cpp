#include "tools/hostsim/SignatureCheck.h"

#include <windows.h>
#include <wintrust.h>

#include "trust/Signature.h"

namespace hostsim {

Signature checkSignature(const std::wstring& dllPath) {
    const trust::Signature read = trust::verifySignature(dllPath);
    Signature signature;
    signature.publisher = read.signer;
    if (!read.present) {
        signature.verdict = Signature::Verdict::Unsigned;
    } else if (read.trustResult == TRUST_E_BAD_DIGEST) {
        signature.verdict = Signature::Verdict::Altered;
    } else {
        // A signature whose chain, time or signer the platform does not accept: signed, not trusted.
        signature.verdict = read.verifies && read.trustedPublisher ? Signature::Verdict::Trusted
                                                                   : Signature::Verdict::Untrusted;
    }
    return signature;
}

}  // namespace hostsim
