#pragma once

#include <string>
#include <vector>

#include "win/UniqueCrypt.h"

#include <windows.h>

// Puts a certificate into one of the machine's certificate stores ("Root" to trust a root, "TrustedPublisher"
// for Office's signed add-ins) for the owner's lifetime, and takes it out again, so that the prefix is left
// as it was found; one that the store already held stays. The store is written through its registry key:
// opening the system store by name would, under Wine, read the machine's roots into the process before the
// certificate is there, and Wine reads them once per process. So make it before the process's first signature
// check.
class MachineCertificate {
public:
    MachineCertificate(const wchar_t* store, const std::vector<unsigned char>& encoded);
    ~MachineCertificate();
    MachineCertificate(const MachineCertificate&) = delete;
    MachineCertificate& operator=(const MachineCertificate&) = delete;

    bool added() const { return added_; }

private:
    std::wstring key_;
    std::vector<unsigned char> encoded_;
    bool added_ = false;
};

// Wine makes the registry keys of the system's certificate stores on their first use (Windows has them from
// the start): the keys under Software\Microsoft\SystemCertificates, in HKLM and HKCU, that appear while the
// owner lives are removed again. Make it before the first certificate call of a test.
class CertificateStoreKeys {
public:
    CertificateStoreKeys();
    ~CertificateStoreKeys();
    CertificateStoreKeys(const CertificateStoreKeys&) = delete;
    CertificateStoreKeys& operator=(const CertificateStoreKeys&) = delete;

private:
    struct Hive {
        HKEY root;
        std::vector<std::wstring> keys;  // relative to the stores' key, "" for that key itself
    };
    std::vector<Hive> hives_;
};

// The bytes of a file (a DER certificate, say); empty when it cannot be read.
std::vector<unsigned char> readFileBytes(const std::wstring& path);
