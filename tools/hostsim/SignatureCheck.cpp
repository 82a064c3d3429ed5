#include "tools/hostsim/SignatureCheck.h"

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include "win/UniqueResource.h"

namespace hostsim {
namespace {

struct CertStoreTraits {
    using Handle = HCERTSTORE;
    static HCERTSTORE none() noexcept { return nullptr; }
    static bool valid(HCERTSTORE store) noexcept { return store != nullptr; }
    static void close(HCERTSTORE store) noexcept { ::CertCloseStore(store, 0); }
};
using UniqueCertStore = win::UniqueResource<CertStoreTraits>;

struct CertificateTraits {
    using Handle = PCCERT_CONTEXT;
    static PCCERT_CONTEXT none() noexcept { return nullptr; }
    static bool valid(PCCERT_CONTEXT certificate) noexcept { return certificate != nullptr; }
    static void close(PCCERT_CONTEXT certificate) noexcept { ::CertFreeCertificateContext(certificate); }
};
using UniqueCertificate = win::UniqueResource<CertificateTraits>;

// The state a verifying WinVerifyTrust call leaves behind, given back by the closing call on the same data.
struct VerificationTraits {
    using Handle = WINTRUST_DATA*;
    static WINTRUST_DATA* none() noexcept { return nullptr; }
    static bool valid(WINTRUST_DATA* data) noexcept { return data != nullptr; }
    static void close(WINTRUST_DATA* data) noexcept {
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        data->dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, data);
    }
};
using UniqueVerification = win::UniqueResource<VerificationTraits>;

// Office keeps its trusted publishers in the platform's "TrustedPublisher" store; an administrator may fill
// it for the user, for the machine or through group policy.
const DWORD kTrustedPublisherLocations[] = {
    CERT_SYSTEM_STORE_CURRENT_USER,
    CERT_SYSTEM_STORE_LOCAL_MACHINE,
    CERT_SYSTEM_STORE_CURRENT_USER_GROUP_POLICY,
    CERT_SYSTEM_STORE_LOCAL_MACHINE_GROUP_POLICY,
    CERT_SYSTEM_STORE_LOCAL_MACHINE_ENTERPRISE,
};

bool isTrustedPublisher(PCCERT_CONTEXT signer) {
    for (DWORD location : kTrustedPublisherLocations) {
        UniqueCertStore store(::CertOpenStore(
            CERT_STORE_PROV_SYSTEM_W, 0, 0,
            location | CERT_STORE_OPEN_EXISTING_FLAG | CERT_STORE_READONLY_FLAG, L"TrustedPublisher"));
        if (!store) continue;
        const UniqueCertificate found(::CertFindCertificateInStore(
            store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, CERT_FIND_EXISTING, signer, nullptr));
        if (found) return true;
    }
    return false;
}

std::wstring nameOf(PCCERT_CONTEXT certificate) {
    wchar_t name[256] = {};
    const DWORD length =
        ::CertGetNameStringW(certificate, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
    return length > 1 ? std::wstring(name, length - 1) : std::wstring();
}

// The signing certificate of the first signer, while the verification's state lives.
PCCERT_CONTEXT signerOf(const WINTRUST_DATA& data) {
    if (!data.hWVTStateData) return nullptr;
    CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(data.hWVTStateData);
    if (!provider) return nullptr;
    CRYPT_PROVIDER_SGNR* signer = ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0);
    if (!signer) return nullptr;
    CRYPT_PROVIDER_CERT* certificate = ::WTHelperGetProvCertFromChain(signer, 0);
    return certificate ? certificate->pCert : nullptr;
}

}  // namespace

Signature checkSignature(const std::wstring& dllPath) {
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = dllPath.c_str();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // Whether a publisher is trusted is a question of this machine's stores, never of the network.
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    const UniqueVerification verification(data.hWVTStateData ? &data : nullptr);

    Signature signature;
    const PCCERT_CONTEXT signer = signerOf(data);
    if (signer) signature.publisher = nameOf(signer);
    switch (status) {
        case ERROR_SUCCESS:
            signature.verdict = signer && isTrustedPublisher(signer) ? Signature::Verdict::Trusted
                                                                     : Signature::Verdict::Untrusted;
            break;
        case TRUST_E_NOSIGNATURE:
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            signature.verdict = Signature::Verdict::Unsigned;
            break;
        case TRUST_E_BAD_DIGEST:
            signature.verdict = Signature::Verdict::Altered;
            break;
        default:
            // A signature whose chain, time or signer the platform does not accept: signed, not trusted.
            signature.verdict = signer ? Signature::Verdict::Untrusted : Signature::Verdict::Unsigned;
            break;
    }
    return signature;
}

}  // namespace hostsim
