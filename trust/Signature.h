#pragma once

#include <string>

namespace trust {

// What a file's Authenticode signature says, and whether Windows accepts it on this machine.
struct Signature {
    bool present = false;  // the file carries a signature (intact or not)
    std::wstring signer;   // the signing certificate's subject, as Windows displays it; empty when unknown
    std::string signerCertificate;  // the signing certificate itself (DER)
    // The signing certificate's subject public key info (DER): what a publisher's renewed certificate keeps,
    // and what no other holder of the same name has.
    std::string signerPublicKey;
    std::string
        timeStamp;  // when a time-stamping authority countersigned, "YYYY-MM-DD hh:mm:ss UTC"; or empty
    bool verifies = false;  // the file is unchanged since signing and its signer chains to a trusted root
    // Whether Windows could tell that no certificate of the signer's chain (its root aside) is revoked, from
    // what this machine holds or from where each certificate says its revocation is published (within
    // kRevocationTimeoutMs); a certificate that names no such place cannot be revoked and has nothing to
    // tell. False for a signature that does not verify, and when a place that was named did not answer in
    // time: "revocation not checked".
    bool revocationChecked = false;
    // The signer's certificate is in a "TrustedPublisher" store of the user or the machine (where Office and
    // administrators keep the publishers whose add-ins may load).
    bool trustedPublisher = false;
    // WinVerifyTrust's answer: 0 when it verifies; else TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST (changed
    // after signing), CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING, CERT_E_EXPIRED, CRYPT_E_REVOKED and the like.
    long trustResult = 0;
};

// How long the revocation check may wait on the network for one file, all distribution points together.
constexpr unsigned long kRevocationTimeoutMs = 10000;

// Reads the signature of the PE file (DLL, program) open as `file` (a HANDLE with read access, which the
// caller holds so that what is verified is what it then uses; `path` only names it to Windows) and has
// Windows verify it as for running it: WinVerifyTrust's generic policy through the handle, no user interface;
// then every certificate of the signer's chain but the root checked for revocation. Office's rule that
// add-ins be signed rests on the same check. Windows packages (.msi) are not PE files and are not read here.
Signature verifyOpenFile(void* file, const std::wstring& path) noexcept;

// The same for the file at `path`, opened and held for as long as the check takes.
Signature verifySignature(const std::wstring& path) noexcept;

}  // namespace trust
