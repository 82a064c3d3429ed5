#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/signing/SignatureRows.h"
#include "tests/support/MachineCertificate.h"

namespace {

TEST(TrustedRootTest, WindowsAcceptsWhatTheBuildSignedOnceItsRootIsTrustedAndNothingChanged) {
    const CertificateStoreKeys storeKeys;
    const std::vector<unsigned char> root = readFileBytes(testRootPath());
    ASSERT_FALSE(root.empty()) << "the build's test root is missing";
    const MachineCertificate trusted(L"Root", root);
    ASSERT_TRUE(trusted.added());
    const std::wstring addIn = besideTheTests(L"Quillery.dll");
    const AlteredCopy altered(addIn);
    const SignatureRow rows[] = {
        {"the add-in", addIn, true, true, ERROR_SUCCESS, true},
        {"the doctor", besideTheTests(L"quillery-doctor.exe"), true, true, ERROR_SUCCESS, true},
        {"the add-in with one byte changed", altered.path(), true, false, TRUST_E_BAD_DIGEST, true},
        {"an unsigned program", thisProgram(), false, false, TRUST_E_NOSIGNATURE, false},
    };
    expectSignatures(rows, ARRAYSIZE(rows));
}

}  // namespace
