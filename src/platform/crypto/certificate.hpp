#pragma once

#include <optional>

#include <openssl/types.h>

#include "platform/crypto/bytes.hpp"
#include "platform/crypto/openssl_ptr.hpp"

namespace zentrabo::platform {

// A parsed X.509 certificate together with the exact DER bytes it was read
// from (fingerprints and comparisons use those bytes, never a re-encoding).
class Certificate {
public:
    // None when the bytes are not exactly one DER certificate.
    static std::optional<Certificate> fromDer(ByteView der);

    // Takes a reference to a certificate that OpenSSL handed out; none when it
    // cannot be encoded.
    static std::optional<Certificate> fromNative(X509* certificate);

    Certificate(const Certificate& other);
    Certificate& operator=(const Certificate& other);
    Certificate(Certificate&&) noexcept = default;
    Certificate& operator=(Certificate&&) noexcept = default;
    ~Certificate() = default;

    const Bytes& der() const noexcept { return der_; }

    // SHA-256 of the DER bytes as 64 lowercase hexadecimal digits.
    std::string sha256Fingerprint() const;

    // The subject's public key, owned by the certificate.
    EVP_PKEY* publicKey() const noexcept;

    X509* native() const noexcept { return certificate_.get(); }

private:
    Certificate(X509Ptr certificate, Bytes der) noexcept : certificate_(std::move(certificate)), der_(std::move(der)) {}
    X509Ptr certificate_;
    Bytes der_;
};

}  // namespace zentrabo::platform
