#pragma once

#include <functional>
#include <string>

namespace hostsim {

// What the Trust Center asks of an add-in's DLL when it loads only add-ins signed by a trusted publisher.
struct Signature {
    enum class Verdict {
        Trusted,    // a valid Authenticode signature whose signer is in the Trusted Publishers store
        Untrusted,  // a valid signature, but its signer is not a trusted publisher (or its chain is not
                    // trusted)
        Unsigned,   // no signature at all
        Altered,    // signed, but the file no longer matches its signature
    };
    Verdict verdict = Verdict::Unsigned;
    std::wstring publisher;  // the signer's name, when there is a signature to name it
};

// The signature question behind one function, so that a test can answer it and the verification can be
// swapped for another without touching the rules that ask it.
using SignatureCheck = std::function<Signature(const std::wstring& dllPath)>;

// The platform's answer (trust::verifySignature): the file verified as for running it, and its signer
// looked up among the trusted publishers.
Signature checkSignature(const std::wstring& dllPath);

}  // namespace hostsim
