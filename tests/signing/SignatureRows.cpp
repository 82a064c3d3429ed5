#include "tests/signing/SignatureRows.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <regex>
#include <vector>

#include "tests/support/MachineCertificate.h"
#include "trust/Signature.h"
#include "win/UniqueHandle.h"

namespace {

// The name the build's code-signing certificate carries.
constexpr wchar_t kTestSigner[] = QUILLERY_TEST_SIGNER;
const std::regex kTimeStamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC)");

}  // namespace

std::wstring testRootPath() {
    // Wine's Z: is the Unix root.
    return L"Z:" QUILLERY_TEST_ROOT_DER;
}

std::wstring thisProgram() {
    wchar_t path[MAX_PATH] = {};
    return std::wstring(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
}

std::wstring besideTheTests(const wchar_t* name) {
    const std::wstring program = thisProgram();
    return program.substr(0, program.find_last_of(L'\\') + 1) + name;
}

AlteredCopy::AlteredCopy(const std::wstring& original) {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    path_ = std::wstring(folder) + L"quillery-altered-" + std::to_wstring(::GetCurrentProcessId()) + L".dll";
    std::vector<unsigned char> bytes = readFileBytes(original);
    if (bytes.empty()) return;
    // A third of the way in lies code; the signature itself sits at the end.
    bytes[bytes.size() / 3] ^= 0xFF;
    const win::UniqueHandle file(::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                               FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

AlteredCopy::~AlteredCopy() {
    ::DeleteFileW(path_.c_str());
}

void expectSignatures(const SignatureRow* rows, std::size_t count) {
    for (std::size_t index = 0; index < count; ++index) {
        const SignatureRow& row = rows[index];
        SCOPED_TRACE(row.name);
        const trust::Signature signature = trust::verifySignature(row.file);
        EXPECT_EQ(signature.present, row.present);
        EXPECT_EQ(signature.verifies, row.verifies);
        EXPECT_EQ(signature.trustResult, row.trustResult);
        EXPECT_EQ(signature.signer, row.named ? kTestSigner : L"");
        // When it was signed is the build's business; that a time-stamping authority said so is ours.
        EXPECT_EQ(std::regex_match(signature.timeStamp, kTimeStamp), row.named) << signature.timeStamp;
    }
}
