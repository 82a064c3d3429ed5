#include <gtest/gtest.h>

#include <string>

#include "trust/SameSigner.h"

namespace {

// TRUST_E_BAD_DIGEST and CERT_E_UNTRUSTEDROOT as Windows answers them; 0 when it verifies.
constexpr long kBadDigest = static_cast<long>(0x80096010), kUntrustedRoot = static_cast<long>(0x800B0109);

// A signature as the rule sees it: whose certificate and key, and what Windows made of it.
trust::Signature signedBy(const char* certificate, const char* key, long result, bool checked = true) {
    const bool verifies = result == 0;
    return {true, L"Corvane Ltd", certificate, key, "", verifies, verifies && checked, false, result};
}

struct Row {
    const char* name;
    trust::Signature own;
    trust::Signature other;
    std::string why;  // the start of the reason; empty: it runs
};

TEST(SameSignerTest, TheOtherProgramRunsOnlyWithTheRunningOnesVerifiedCertificateOrKey) {
    const trust::Signature ours = signedBy("certificate 2025", "key A", 0);
    const Row rows[] = {
        {"the same certificate", ours, ours, ""},
        {"the publisher's renewed certificate of the same key", ours,
         signedBy("certificate 2026", "key A", 0), ""},
        {"a developer's build, not signed, runs whatever is beside it", trust::Signature{},
         signedBy("anyone's", "key Z", kBadDigest), ""},
        {"own signature unverified, the other carrying a copy of its certificate",
         signedBy("certificate 2025", "key A", kUntrustedRoot), ours,
         "this doctor's own signature does not verify (0x800B0109)"},
        {"the same name from another CA, with another key", ours, signedBy("another CA's", "key B", 0),
         "it is not signed by this doctor's signer"},
        {"the other's signature unverified", ours, signedBy("certificate 2025", "key A", kBadDigest),
         "its signature does not verify (0x80096010)"},
        {"the other's revocation not checked", ours, signedBy("certificate 2025", "key A", 0, false),
         "revocation not checked"},
    };
    for (const Row& row : rows) {
        const std::string why = trust::whyNotSameSigner(row.own, row.other);
        EXPECT_TRUE(row.why.empty() ? why.empty() : why.rfind(row.why, 0) == 0) << row.name << ": " << why;
    }
}

}  // namespace
