#include "tests/support/MachineCertificate.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "win/UniqueHkey.h"

namespace {

constexpr wchar_t kStoresKey[] = L"Software\\Microsoft\\SystemCertificates";

std::vector<std::wstring> subkeys(HKEY key) {
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = ARRAYSIZE(name);
        if (::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

// Every key under the stores' key, by path relative to it ("" is the key itself); none when it is absent.
void listKeys(HKEY root, const std::wstring& relative, std::vector<std::wstring>& keys) {
    const std::wstring path = relative.empty() ? kStoresKey : std::wstring(kStoresKey) + L"\\" + relative;
    win::UniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return;
    keys.push_back(relative);
    for (const std::wstring& name : subkeys(key.get())) {
        listKeys(root, relative.empty() ? name : relative + L"\\" + name, keys);
    }
}

bool listed(const std::vector<std::wstring>& keys, const std::wstring& key) {
    for (const std::wstring& known : keys) {
        if (known == key) return true;
    }
    return false;
}

// Removes, under `relative`, every key that was not there before; the topmost new key goes with its subtree.
void removeNewKeys(HKEY root, const std::wstring& relative, const std::vector<std::wstring>& before) {
    const std::wstring path = relative.empty() ? kStoresKey : std::wstring(kStoresKey) + L"\\" + relative;
    if (!listed(before, relative)) {
        ::RegDeleteTreeW(root, path.c_str());
        ::RegDeleteKeyW(root, path.c_str());
        return;
    }
    win::UniqueHkey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS) return;
    for (const std::wstring& name : subkeys(key.get())) {
        removeNewKeys(root, relative.empty() ? name : relative + L"\\" + name, before);
    }
}

}  // namespace

CertificateStoreKeys::CertificateStoreKeys() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        Hive hive{root, {}};
        listKeys(root, L"", hive.keys);
        hives_.push_back(hive);
    }
}

CertificateStoreKeys::~CertificateStoreKeys() {
    for (const Hive& hive : hives_) removeNewKeys(hive.root, L"", hive.keys);
}

namespace {

// The registry-backed store at `key` under HKLM (the key is made when absent; Windows has it from the start).
win::UniqueCertStore openRegistryStore(const std::wstring& key) {
    win::UniqueHkey storeKey;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          storeKey.receive(), nullptr) != ERROR_SUCCESS) {
        return {};
    }
    // The store keeps its own handle to the key.
    return win::UniqueCertStore(::CertOpenStore(CERT_STORE_PROV_REG, 0, 0, 0, storeKey.get()));
}

}  // namespace

MachineCertificate::MachineCertificate(const wchar_t* store, const std::vector<unsigned char>& encoded)
    : key_(std::wstring(kStoresKey) + L"\\" + store), encoded_(encoded) {
    const win::UniqueCertStore registry = openRegistryStore(key_);
    if (!registry || encoded.empty()) return;
    // Written when the store closes, before any check can look.
    added_ =
        ::CertAddEncodedCertificateToStore(registry.get(), X509_ASN_ENCODING, encoded.data(),
                                           static_cast<DWORD>(encoded.size()), CERT_STORE_ADD_NEW, nullptr);
}

MachineCertificate::~MachineCertificate() {
    if (!added_) return;
    const win::UniqueCertStore registry = openRegistryStore(key_);
    const win::UniqueCertContext wanted(::CertCreateCertificateContext(X509_ASN_ENCODING, encoded_.data(),
                                                                       static_cast<DWORD>(encoded_.size())));
    if (!registry || !wanted) return;
    // Deleting frees the context it is given.
    if (PCCERT_CONTEXT found = ::CertFindCertificateInStore(registry.get(), X509_ASN_ENCODING, 0,
                                                            CERT_FIND_EXISTING, wanted.get(), nullptr)) {
        ::CertDeleteCertificateFromStore(found);
    }
}

std::vector<unsigned char> readFileBytes(const std::wstring& path) {
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
