#include "trust/Signature.h"

// The chain parameters with their time-out for fetching revocation data (Windows Vista on).
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <optional>
#include <vector>

#include "trust/TimeStampToken.h"
#include "win/UniqueCrypt.h"
#include "win/UniqueHandle.h"
#include "win/UniqueLocalMemory.h"

namespace trust {
namespace {

constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// The unauthenticated attributes that hold a time stamp in an Authenticode signature: an RFC 3161 token, or
// the older PKCS #9 countersignature.
constexpr char kRfc3161CounterSignature[] = "1.3.6.1.4.1.311.3.3.1";
constexpr char kPkcs9CounterSignature[] = "1.2.840.113549.1.9.6";

// One parameter of a message, as the bytes CryptMsgGetParam gives; empty when it has none.
std::vector<BYTE> messageParameter(HCRYPTMSG message, DWORD parameter) {
    DWORD size = 0;
    if (!::CryptMsgGetParam(message, parameter, 0, nullptr, &size) || size == 0) return {};
    std::vector<BYTE> bytes(size);
    if (!::CryptMsgGetParam(message, parameter, 0, bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

// The signing certificate, named by issuer and serial number; it travels in the signature's own store.
win::UniqueCertContext signerCertificate(HCERTSTORE store, HCRYPTMSG message) {
    const std::vector<BYTE> signerInfo = messageParameter(message, CMSG_SIGNER_CERT_INFO_PARAM);
    if (signerInfo.size() < sizeof(CERT_INFO)) return win::UniqueCertContext();
    return win::UniqueCertContext(::CertFindCertificateInStore(store, kEncoding, 0, CERT_FIND_SUBJECT_CERT,
                                                               signerInfo.data(), nullptr));
}

std::wstring nameOf(PCCERT_CONTEXT certificate) {
    const DWORD length =
        ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
    if (length <= 1) return {};
    std::wstring name(length, L'\0');
    ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name.data(), length);
    name.resize(length - 1);
    return name;
}

// Trusted publishers may be set for the user, for the machine or through group policy.
const DWORD kTrustedPublisherLocations[] = {
    CERT_SYSTEM_STORE_CURRENT_USER,
    CERT_SYSTEM_STORE_LOCAL_MACHINE,
    CERT_SYSTEM_STORE_CURRENT_USER_GROUP_POLICY,
    CERT_SYSTEM_STORE_LOCAL_MACHINE_GROUP_POLICY,
    CERT_SYSTEM_STORE_LOCAL_MACHINE_ENTERPRISE,
};

bool isTrustedPublisher(PCCERT_CONTEXT signer) {
    for (DWORD location : kTrustedPublisherLocations) {
        win::UniqueCertStore store(::CertOpenStore(
            CERT_STORE_PROV_SYSTEM_W, 0, 0,
            location | CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG, L"TrustedPublisher"));
        if (!store) continue;
        const win::UniqueCertContext found(
            ::CertFindCertificateInStore(store.get(), kEncoding, 0, CERT_FIND_EXISTING, signer, nullptr));
        if (found) return true;
    }
    return false;
}

std::string timeStamp(HCRYPTMSG message) {
    const std::vector<BYTE> bytes = messageParameter(message, CMSG_SIGNER_UNAUTH_ATTR_PARAM);
    if (bytes.size() < sizeof(CRYPT_ATTRIBUTES)) return {};
    const auto* attributes = reinterpret_cast<const CRYPT_ATTRIBUTES*>(bytes.data());
    for (DWORD index = 0; index < attributes->cAttr; ++index) {
        const CRYPT_ATTRIBUTE& attribute = attributes->rgAttr[index];
        if (attribute.pszObjId == nullptr || attribute.cValue == 0) continue;
        const CRYPT_ATTR_BLOB& value = attribute.rgValue[0];
        std::optional<std::string> time;
        if (std::strcmp(attribute.pszObjId, kRfc3161CounterSignature) == 0)
            time = timeStampTokenTime(value.pbData, value.cbData);
        else if (std::strcmp(attribute.pszObjId, kPkcs9CounterSignature) == 0)
            time = counterSignatureTime(value.pbData, value.cbData);
        if (time) return *time;
    }
    return {};
}

// One WinVerifyTrust verification of an open file, and the state it keeps (the signed message, the signer
// and its chain) until it is closed with the same data.
class TrustCheck {
public:
    TrustCheck(HANDLE file, const std::wstring& path) : path_(path) {
        file_.cbStruct = sizeof(file_);
        file_.pcwszFilePath = path_.c_str();
        file_.hFile = file;
        data_.cbStruct = sizeof(data_);
        data_.dwUIChoice = WTD_UI_NONE;
        // Revocation is asked afterwards, of the signer's chain, with a time limit of our own.
        data_.fdwRevocationChecks = WTD_REVOKE_NONE;
        data_.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
        data_.dwUnionChoice = WTD_CHOICE_FILE;
        data_.pFile = &file_;
        data_.dwStateAction = WTD_STATEACTION_VERIFY;
        LARGE_INTEGER start{};
        ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN);
        result_ = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    ~TrustCheck() {
        if (!data_.hWVTStateData) return;
        data_.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action_, &data_);
    }
    TrustCheck(const TrustCheck&) = delete;
    TrustCheck& operator=(const TrustCheck&) = delete;

    LONG result() const { return result_; }
    CRYPT_PROVIDER_DATA* provider() const {
        return data_.hWVTStateData ? ::WTHelperProvDataFromStateData(data_.hWVTStateData) : nullptr;
    }

private:
    std::wstring path_;
    WINTRUST_FILE_INFO file_{};
    WINTRUST_DATA data_{};
    GUID action_ = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result_ = TRUST_E_NOSIGNATURE;
};

LONG windowsVerdict(const TrustCheck& check) {
    const LONG result = check.result();
    CRYPT_PROVIDER_DATA* provider = check.provider();
    if (result != ERROR_SUCCESS || !provider) return result;
    // Wine accepts a signer whose chain stops short of any root it knows; Windows refuses it, and so do we.
    const CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (signer == nullptr || signer->pChainContext == nullptr) return result;
    const DWORD chainErrors = signer->pChainContext->TrustStatus.dwErrorStatus;
    if (chainErrors & CERT_TRUST_IS_PARTIAL_CHAIN) return CERT_E_CHAINING;
    if (chainErrors & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
    return result;
}

enum class Revocation { NotRevoked, Revoked, Unknown };

// Whether a certificate says where its revocation is published: a list's distribution point, or an OCSP
// responder. One that names neither cannot be revoked, so there is nothing to ask about it.
bool namesRevocationSource(PCCERT_CONTEXT certificate) {
    const CERT_INFO* info = certificate->pCertInfo;
    if (::CertFindExtension(szOID_CRL_DIST_POINTS, info->cExtension, info->rgExtension)) return true;
    const CERT_EXTENSION* access =
        ::CertFindExtension(szOID_AUTHORITY_INFO_ACCESS, info->cExtension, info->rgExtension);
    if (!access) return false;
    win::UniqueLocalMemory decoded;
    DWORD size = 0;
    // Undecodable, it may well name one.
    if (!::CryptDecodeObjectEx(kEncoding, X509_AUTHORITY_INFO_ACCESS, access->Value.pbData,
                               access->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, decoded.receive(),
                               &size))
        return true;
    const auto* methods = static_cast<const CERT_AUTHORITY_INFO_ACCESS*>(decoded.get());
    for (DWORD index = 0; index < methods->cAccDescr; ++index) {
        if (std::strcmp(methods->rgAccDescr[index].pszAccessMethod, szOID_PKIX_OCSP) == 0) return true;
    }
    return false;
}

// Whether a certificate of the signer's chain, the root aside, is revoked: from what this machine holds, else
// fetched from where each certificate says its revocation is published, for at most kRevocationTimeoutMs
// altogether. A machine without the network, or a source that does not answer in time, leaves it unknown.
Revocation revocationOf(PCCERT_CONTEXT signer, HCERTSTORE signatureCertificates) {
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof(parameters);
    parameters.dwUrlRetrievalTimeout = kRevocationTimeoutMs;
    win::UniqueCertChain chain;
    if (!::CertGetCertificateChain(
            nullptr, signer, nullptr, signatureCertificates, &parameters,
            CERT_CHAIN_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT | CERT_CHAIN_REVOCATION_ACCUMULATIVE_TIMEOUT,
            nullptr, chain.receive()) ||
        chain.get()->cChain == 0)
        return Revocation::Unknown;
    Revocation revocation = Revocation::NotRevoked;
    for (DWORD simple = 0; simple < chain.get()->cChain; ++simple) {
        const CERT_SIMPLE_CHAIN* links = chain.get()->rgpChain[simple];
        for (DWORD index = 0; index < links->cElement; ++index) {
            const CERT_CHAIN_ELEMENT* element = links->rgpElement[index];
            const DWORD errors = element->TrustStatus.dwErrorStatus;
            if (errors & CERT_TRUST_IS_REVOKED) return Revocation::Revoked;
            if ((errors & (CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION)) &&
                namesRevocationSource(element->pCertContext))
                revocation = Revocation::Unknown;
        }
    }
    return revocation;
}

// The subject public key info of a certificate, as DER.
std::string publicKeyOf(PCCERT_CONTEXT certificate) {
    DWORD size = 0;
    CERT_PUBLIC_KEY_INFO* key = &certificate->pCertInfo->SubjectPublicKeyInfo;
    if (!::CryptEncodeObjectEx(kEncoding, X509_PUBLIC_KEY_INFO, key, 0, nullptr, nullptr, &size)) return {};
    std::string encoded(size, '\0');
    if (!::CryptEncodeObjectEx(kEncoding, X509_PUBLIC_KEY_INFO, key, 0, nullptr, &encoded[0], &size))
        return {};
    encoded.resize(size);
    return encoded;
}

// Whether WinVerifyTrust's answer is about a signature that is there: a certificate's fault (CERT_E_*) or the
// signature's own (TRUST_E_BAD_DIGEST, TRUST_E_TIME_STAMP and their kin), as opposed to no signature, a file
// of a kind it does not read, or a file it could not open.
bool judgesASignature(LONG result) {
    const auto code = static_cast<unsigned long>(result);
    constexpr unsigned long kGroupMask = 0xFFFFFF00;
    return ((code & kGroupMask) == static_cast<unsigned long>(CERT_E_EXPIRED & kGroupMask) &&
            result != TRUST_E_NOSIGNATURE) ||
           (code & kGroupMask) == static_cast<unsigned long>(TRUST_E_BAD_DIGEST & kGroupMask);
}

}  // namespace

Signature verifyOpenFile(void* file, const std::wstring& path) noexcept {
    Signature result;
    try {
        const TrustCheck check(file, path);
        result.trustResult = windowsVerdict(check);
        result.verifies = result.trustResult == ERROR_SUCCESS;
        const CRYPT_PROVIDER_DATA* provider = check.provider();
        win::UniqueCertStore store;
        win::UniqueCertContext signer;
        if (provider && provider->hMsg) {
            result.present = true;
            // The certificates the signature carries, the signer's among them.
            store.reset(::CertOpenStore(CERT_STORE_PROV_MSG, kEncoding, 0, 0, provider->hMsg));
            if (store) signer = signerCertificate(store.get(), provider->hMsg);
            if (signer) {
                result.signer = nameOf(signer.get());
                result.signerCertificate.assign(reinterpret_cast<const char*>(signer.get()->pbCertEncoded),
                                                signer.get()->cbCertEncoded);
                result.signerPublicKey = publicKeyOf(signer.get());
                result.trustedPublisher = isTrustedPublisher(signer.get());
            }
            result.timeStamp = timeStamp(provider->hMsg);
        }
        // A signature too damaged to read is still one when Windows judged it.
        if (judgesASignature(result.trustResult)) result.present = true;
        if (result.verifies && signer) {
            switch (revocationOf(signer.get(), store.get())) {
                case Revocation::NotRevoked:
                    result.revocationChecked = true;
                    break;
                case Revocation::Revoked:
                    result.revocationChecked = true;
                    result.trustResult = CRYPT_E_REVOKED;
                    result.verifies = false;
                    break;
                case Revocation::Unknown:
                    break;
            }
        }
    } catch (...) {
        // Out of memory while reading names: what was read stands; it does not verify.
        result.verifies = false;
    }
    return result;
}

Signature verifySignature(const std::wstring& path) noexcept {
    const win::UniqueHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        Signature none;
        none.trustResult = static_cast<long>(HRESULT_FROM_WIN32(::GetLastError()));
        return none;
    }
    return verifyOpenFile(file.get(), path);
}

}  // namespace trust
