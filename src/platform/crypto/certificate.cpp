#include "platform/crypto/certificate.hpp"

#include <climits>

#include <openssl/err.h>
#include <openssl/x509.h>

#include "platform/crypto/crypto_error.hpp"
#include "platform/crypto/digest.hpp"

namespace zentrabo::platform {
namespace {

X509* shared(X509* certificate) {
    if (certificate != nullptr && X509_up_ref(certificate) != 1) {
        throw CryptoError("Certificate reference");
    }
    return certificate;
}

}  // namespace

std::optional<Certificate> Certificate::fromDer(ByteView der) {
    if (der.empty() || der.size() > LONG_MAX) return std::nullopt;
    const unsigned char* cursor = der.data();
    X509Ptr certificate(d2i_X509(nullptr, &cursor, static_cast<long>(der.size())));
    // Trailing bytes would make two different byte strings name one
    // certificate, and so two fingerprints: refuse them.
    if (!certificate || cursor != der.data() + der.size()) {
        ERR_clear_error();
        return std::nullopt;
    }
    return Certificate(std::move(certificate), Bytes(der.begin(), der.end()));
}

std::optional<Certificate> Certificate::fromNative(X509* certificate) {
    if (certificate == nullptr) return std::nullopt;
    unsigned char* data = nullptr;
    const int length = i2d_X509(certificate, &data);
    if (length <= 0) {
        ERR_clear_error();
        return std::nullopt;
    }
    Bytes der(data, data + length);
    OPENSSL_free(data);
    return Certificate(X509Ptr(shared(certificate)), std::move(der));
}

Certificate::Certificate(const Certificate& other) : certificate_(shared(other.certificate_.get())), der_(other.der_) {}

Certificate& Certificate::operator=(const Certificate& other) {
    if (this != &other) {
        certificate_.reset(shared(other.certificate_.get()));
        der_ = other.der_;
    }
    return *this;
}

std::string Certificate::sha256Fingerprint() const { return sha256Hex(der_); }

EVP_PKEY* Certificate::publicKey() const noexcept { return X509_get0_pubkey(certificate_.get()); }

}  // namespace zentrabo::platform
