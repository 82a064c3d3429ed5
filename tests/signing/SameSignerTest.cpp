#include <gtest/gtest.h>

#include <string>

#include "trust/SameSigner.h"

namespace {

constexpr long kVerifies = 0;
constexpr long kBadDigest = static_cast<long>(0x80096010);      // TRUST_E_BAD_DIGEST
constexpr long kUntrustedRoot = static_cast<long>(0x800B0109);  // CERT_E_UNTRUSTEDROOT

// A signature as the rule sees it: whose certificate and key, and what Windows made of it.
trust::Signature signedBy(const char* certificate, const char* key, long result,
                          bool revocationChecked = true) {
    trust::Signature signature;
    signature.present = true;
    signature.signer = L"Corvane Ltd";
    signature.signerCertificate = certificate;
    signature.signerPublicKey = key;
    signature.trustResult = result;
    signature.verifies = result == kVerifies;
    signature.revocationChecked = signature.verifies && revocationChecked;
    return signature;
}

struct Row {
    const char* name;
    trust::Signature own;
    trust::Signature other;
    std::string why;  // the start of the reason; empty: it runs
};

TEST(SameSignerTest, TheOtherProgramRunsOnlyWithTheRunningOnesVerifiedCertificateOrKey) {
    const trust::Signature ours = signedBy("certificate 2025", "key A", kVerifies);
    const Row rows[] = {
        {"the same certificate", ours, ours, ""},
        {"the publisher's renewed certificate of the same key", ours,
         signedBy("certificate 2026", "key A", kVerifies), ""},
        {"a developer's build, not signed, runs whatever is beside it", trust::Signature{},
         signedBy("anyone's", "key Z", kBadDigest), ""},
        {"own signature unverified, the other carrying a copy of its certificate",
         signedBy("certificate 2025", "key A", kUntrustedRoot), ours,
         "this doctor's own signature does not verify (0x800B0109)"},
        {"the same name from another CA, with another key", ours,
         signedBy("another CA's", "key B", kVerifies), "it is not signed by this doctor's signer"},
        {"the other's signature unverified", ours, signedBy("certificate 2025", "key A", kBadDigest),
         "its signature does not verify (0x80096010)"},
        {"the other's revocation not checked", ours, signedBy("certificate 2025", "key A", kVerifies, false),
         "revocation not checked"},
        {"the other not signed", ours, trust::Signature{}, "it is not signed, and this doctor is"},
    };
    for (const Row& row : rows) {
        const std::string why = trust::whyNotSameSigner(row.own, row.other);
        EXPECT_EQ(row.why, why.substr(0, row.why.size())) << row.name << ": " << why;
        EXPECT_EQ(row.why.empty(), why.empty()) << row.name << ": " << why;
    }
}

}  // namespace
