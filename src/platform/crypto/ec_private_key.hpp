#pragma once

#include <optional>

#include <openssl/types.h>

#include "platform/crypto/bytes.hpp"
#include "platform/crypto/openssl_ptr.hpp"

namespace zentrabo::platform {

// An EC private key on the P-256 curve (prime256v1). Copies share the same
// OpenSSL object, which is immutable once made.
class EcPrivateKey {
public:
    // A fresh random key; throws CryptoError.
    static EcPrivateKey generate();

    // Reads a PKCS#8 PrivateKeyInfo DER encoding; none when the bytes are not
    // a P-256 private key.
    static std::optional<EcPrivateKey> fromPkcs8Der(ByteView der);

    EcPrivateKey(const EcPrivateKey& other);
    EcPrivateKey& operator=(const EcPrivateKey& other);
    EcPrivateKey(EcPrivateKey&&) noexcept = default;
    EcPrivateKey& operator=(EcPrivateKey&&) noexcept = default;
    ~EcPrivateKey() = default;

    // PKCS#8 PrivateKeyInfo DER encoding (secret: never log it).
    Bytes toPkcs8Der() const;

    // The public key in its X9.63 uncompressed form: 0x04, X, Y (65 bytes).
    Bytes publicKeyX963() const;

    // ECDSA over SHA-256 of the message, as a DER SEQUENCE { r, s }.
    Bytes signSha256(ByteView message) const;

    // True when `publicKey` is this key's public half.
    bool matchesPublicKey(const EVP_PKEY* publicKey) const;

    EVP_PKEY* native() const noexcept { return key_.get(); }

private:
    explicit EcPrivateKey(EvpPkeyPtr key) noexcept : key_(std::move(key)) {}
    EvpPkeyPtr key_;
};

// True when the key is an EC key on the P-256 curve.
bool isP256Key(const EVP_PKEY* key);

}  // namespace zentrabo::platform
