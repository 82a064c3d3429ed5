#pragma once

#include <cstddef>
#include <string>

// What the trust tests share. Wine's chain engine reads the machine's roots once per process, at its first
// verification (Windows follows the store as it changes): a test that trusts the build's root and one that
// does not are therefore separate programs, each deciding before its first verification.

// The build's throwaway root (DER), as Windows names the file.
std::wstring testRootPath();
std::wstring thisProgram();
std::wstring besideTheTests(const wchar_t* name);

// A copy of a signed file with one byte of its code changed, as a tampered or damaged installation has it;
// removed with its owner.
class AlteredCopy {
public:
    explicit AlteredCopy(const std::wstring& original);
    ~AlteredCopy();
    AlteredCopy(const AlteredCopy&) = delete;
    AlteredCopy& operator=(const AlteredCopy&) = delete;
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
};

struct SignatureRow {
    const char* name;
    std::wstring file;
    bool present;
    bool verifies;
    long trustResult;
    bool named;  // the signer is the build's signing certificate, and the time stamp is there
};

// verifySignature on each row's file, checked against the row.
void expectSignatures(const SignatureRow* rows, std::size_t count);
