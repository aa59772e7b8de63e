#pragma once

#include <memory>

#include <openssl/bio.h>
#include <openssl/encoder.h>
#include <openssl/decoder.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

namespace zentrabo::platform {

// unique_ptr aliases that free OpenSSL objects with their own free function.
template <auto FreeFunction>
struct OpenSslDeleter {
    template <typename T>
    void operator()(T* object) const noexcept {
        FreeFunction(object);
    }
};

using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX_free>>;
using EvpMacPtr = std::unique_ptr<EVP_MAC, OpenSslDeleter<EVP_MAC_free>>;
using EvpMacCtxPtr = std::unique_ptr<EVP_MAC_CTX, OpenSslDeleter<EVP_MAC_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using OsslEncoderCtxPtr = std::unique_ptr<OSSL_ENCODER_CTX, OpenSslDeleter<OSSL_ENCODER_CTX_free>>;
using OsslDecoderCtxPtr = std::unique_ptr<OSSL_DECODER_CTX, OpenSslDeleter<OSSL_DECODER_CTX_free>>;

}  // namespace zentrabo::platform
