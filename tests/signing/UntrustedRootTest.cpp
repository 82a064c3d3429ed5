#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include "tests/signing/SignatureRows.h"
#include "tests/support/MachineCertificate.h"

namespace {

// The signature carries the signer's certificate but not the root, as a vendor's does: with the root unknown,
// Windows cannot build the chain.
TEST(UntrustedRootTest, WindowsRefusesWhatTheBuildSignedWhileItsRootIsNotTrusted) {
    const CertificateStoreKeys storeKeys;
    const SignatureRow rows[] = {
        {"the add-in", besideTheTests(L"Quillery.dll"), true, false, CERT_E_CHAINING, true},
        {"the doctor", besideTheTests(L"quillery-doctor.exe"), true, false, CERT_E_CHAINING, true},
    };
    expectSignatures(rows, ARRAYSIZE(rows));
}

}  // namespace
