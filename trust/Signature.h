#pragma once

#include <string>

namespace trust {

// What a file's Authenticode signature says, and whether Windows accepts it on this machine.
struct Signature {
    bool present = false;  // the file carries a signature (intact or not)
    std::wstring signer;   // the signing certificate's subject, as Windows displays it; empty when unknown
    std::string signerCertificate;  // the signing certificate itself (DER), to tell two signers apart
    std::string
        timeStamp;  // when a time-stamping authority countersigned, "YYYY-MM-DD hh:mm:ss UTC"; or empty
    bool verifies = false;  // the file is unchanged since signing and its signer chains to a trusted root
    // Whether Windows could tell that no certificate of the chain is revoked. Revocation is asked of what
    // this machine already holds, never of the network: a machine that holds no current revocation list
    // verifies without it, and says so.
    bool revocationChecked = false;
    // The signer's certificate is in a "TrustedPublisher" store of the user or the machine (where Office and
    // administrators keep the publishers whose add-ins may load).
    bool trustedPublisher = false;
    // WinVerifyTrust's answer: 0 when it verifies; else TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST (changed
    // after signing), CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING, CERT_E_EXPIRED and the like.
    long trustResult = 0;
};

// Reads the signature of the PE file (DLL, program) at `path` and has Windows verify it as for running it
// (WinVerifyTrust's generic policy, no user interface, every certificate of the chain checked for revocation
// against cached lists only, so no network). Office's rule
// that add-ins be signed rests on the same check. Windows packages (.msi) are not PE files and are not read
// here.
Signature verifySignature(const std::wstring& path) noexcept;

}  // namespace trust
