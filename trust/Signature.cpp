#include "trust/Signature.h"

#include <windows.h>
#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstring>
#include <optional>
#include <vector>

#include "trust/TimeStampToken.h"
#include "win/UniqueCrypt.h"

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

// The state WinVerifyTrust keeps between verifying and closing: given back by a closing call with the same
// data.
class TrustStateTraits {
public:
    using Handle = HANDLE;
    explicit TrustStateTraits(WINTRUST_DATA* data = nullptr, GUID* action = nullptr)
        : data_(data), action_(action) {}
    static HANDLE none() noexcept { return nullptr; }
    static bool valid(HANDLE state) noexcept { return state != nullptr; }
    void close(HANDLE state) noexcept {
        data_->dwStateAction = WTD_STATEACTION_CLOSE;
        data_->hWVTStateData = state;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), action_, data_);
    }

private:
    WINTRUST_DATA* data_;
    GUID* action_;
};

LONG windowsVerdict(const std::wstring& path, DWORD revocation) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = revocation;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL |
                       (revocation == WTD_REVOKE_WHOLECHAIN ? WTD_REVOCATION_CHECK_CHAIN_EXCLUDE_ROOT
                                                          : WTD_REVOCATION_CHECK_NONE);
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    const win::UniqueResource<TrustStateTraits> state(data.hWVTStateData, TrustStateTraits(&data, &action));
    if (result != ERROR_SUCCESS || !state) return result;
    // Wine accepts a signer whose chain stops short of any root it knows; Windows refuses it, and so do we.
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(state.get());
    const CRYPT_PROVIDER_SGNR* signer =
        provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    if (signer == nullptr || signer->pChainContext == nullptr) return result;
    const DWORD chainErrors = signer->pChainContext->TrustStatus.dwErrorStatus;
    if (chainErrors & CERT_TRUST_IS_PARTIAL_CHAIN) return CERT_E_CHAINING;
    if (chainErrors & CERT_TRUST_IS_UNTRUSTED_ROOT) return CERT_E_UNTRUSTEDROOT;
    if (chainErrors & CERT_TRUST_IS_REVOKED) return CRYPT_E_REVOKED;
    if (revocation == WTD_REVOKE_WHOLECHAIN &&
        (chainErrors & (CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION)))
        return CERT_E_REVOCATION_FAILURE;
    return result;
}

// A revocation check that could not be made from what this machine holds.
bool revocationUnknown(LONG result) {
    return result == CERT_E_REVOCATION_FAILURE || result == CRYPT_E_REVOCATION_OFFLINE ||
           result == CRYPT_E_NO_REVOCATION_CHECK;
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

Signature verifySignature(const std::wstring& path) noexcept {
    Signature result;
    try {
        win::UniqueCertStore store;
        win::UniqueCryptMsg message;
        DWORD encoding = 0, contentType = 0, formatType = 0;
        if (::CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                               CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY, 0,
                               &encoding, &contentType, &formatType, store.receive(), message.receive(),
                               nullptr)) {
            result.present = true;
            if (const win::UniqueCertContext signer = signerCertificate(store.get(), message.get())) {
                result.signer = nameOf(signer.get());
                result.signerCertificate.assign(reinterpret_cast<const char*>(signer.get()->pbCertEncoded),
                                                signer.get()->cbCertEncoded);
                result.trustedPublisher = isTrustedPublisher(signer.get());
            }
            result.timeStamp = timeStamp(message.get());
        }
        result.trustResult = windowsVerdict(path, WTD_REVOKE_WHOLECHAIN);
        result.revocationChecked = !revocationUnknown(result.trustResult);
        // Not knowing is not being revoked: the rest of the verdict is asked again without it.
        if (!result.revocationChecked) result.trustResult = windowsVerdict(path, WTD_REVOKE_NONE);
        result.verifies = result.trustResult == ERROR_SUCCESS;
        // A signature too damaged to read is still one when Windows judged it.
        if (judgesASignature(result.trustResult)) result.present = true;
    } catch (...) {
        // Out of memory while reading names: what was read stands; it does not verify.
        result.verifies = false;
    }
    return result;
}

}  // namespace trust
