#pragma once

#include <windows.h>
#include <wincrypt.h>

#include "win/UniqueResource.h"

namespace win {

struct CertStoreTraits {
    using Handle = HCERTSTORE;
    static HCERTSTORE none() noexcept { return nullptr; }
    static bool valid(HCERTSTORE store) noexcept { return store != nullptr; }
    static void close(HCERTSTORE store) noexcept { ::CertCloseStore(store, 0); }
};

struct CryptMsgTraits {
    using Handle = HCRYPTMSG;
    static HCRYPTMSG none() noexcept { return nullptr; }
    static bool valid(HCRYPTMSG message) noexcept { return message != nullptr; }
    static void close(HCRYPTMSG message) noexcept { ::CryptMsgClose(message); }
};

struct CertContextTraits {
    using Handle = PCCERT_CONTEXT;
    static PCCERT_CONTEXT none() noexcept { return nullptr; }
    static bool valid(PCCERT_CONTEXT certificate) noexcept { return certificate != nullptr; }
    static void close(PCCERT_CONTEXT certificate) noexcept { ::CertFreeCertificateContext(certificate); }
};

struct CertChainTraits {
    using Handle = PCCERT_CHAIN_CONTEXT;
    static PCCERT_CHAIN_CONTEXT none() noexcept { return nullptr; }
    static bool valid(PCCERT_CHAIN_CONTEXT chain) noexcept { return chain != nullptr; }
    static void close(PCCERT_CHAIN_CONTEXT chain) noexcept { ::CertFreeCertificateChain(chain); }
};

// Owners of a certificate store, a cryptographic message, one reference to a certificate context and a chain
// built for one.
using UniqueCertStore = UniqueResource<CertStoreTraits>;
using UniqueCryptMsg = UniqueResource<CryptMsgTraits>;
using UniqueCertContext = UniqueResource<CertContextTraits>;
using UniqueCertChain = UniqueResource<CertChainTraits>;

}  // namespace win
