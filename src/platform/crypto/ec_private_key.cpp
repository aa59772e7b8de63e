#include "platform/crypto/ec_private_key.hpp"

#include <cstring>
#include <string>

#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include "platform/crypto/crypto_error.hpp"

namespace zentrabo::platform {
namespace {

constexpr std::size_t uncompressedPointLength = 65;

EVP_PKEY* shared(EVP_PKEY* key) {
    if (key != nullptr && EVP_PKEY_up_ref(key) != 1) throw CryptoError("Key reference");
    return key;
}

}  // namespace

bool isP256Key(const EVP_PKEY* key) {
    if (key == nullptr || EVP_PKEY_is_a(key, "EC") != 1) return false;
    char group[64] = {};
    std::size_t length = 0;
    if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, &length) != 1) {
        return false;
    }
    return std::strcmp(group, "prime256v1") == 0;
}

EcPrivateKey EcPrivateKey::generate() {
    EvpPkeyPtr key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    if (!key) throw CryptoError("EC P-256 key generation");
    return EcPrivateKey(std::move(key));
}

std::optional<EcPrivateKey> EcPrivateKey::fromPkcs8Der(ByteView der) {
    EVP_PKEY* decoded = nullptr;
    OsslDecoderCtxPtr decoder(
        OSSL_DECODER_CTX_new_for_pkey(&decoded, "DER", "PrivateKeyInfo", "EC", EVP_PKEY_KEYPAIR, nullptr, nullptr));
    if (!decoder) return std::nullopt;
    const unsigned char* data = der.data();
    std::size_t remaining = der.size();
    const bool ok = OSSL_DECODER_from_data(decoder.get(), &data, &remaining) == 1;
    EvpPkeyPtr key(decoded);
    if (!ok || remaining != 0 || !isP256Key(key.get())) {
        ERR_clear_error();
        return std::nullopt;
    }
    return EcPrivateKey(std::move(key));
}

EcPrivateKey::EcPrivateKey(const EcPrivateKey& other) : key_(shared(other.key_.get())) {}

EcPrivateKey& EcPrivateKey::operator=(const EcPrivateKey& other) {
    if (this != &other) key_.reset(shared(other.key_.get()));
    return *this;
}

Bytes EcPrivateKey::toPkcs8Der() const {
    OsslEncoderCtxPtr encoder(
        OSSL_ENCODER_CTX_new_for_pkey(key_.get(), EVP_PKEY_KEYPAIR, "DER", "PrivateKeyInfo", nullptr));
    unsigned char* data = nullptr;
    std::size_t length = 0;
    if (!encoder || OSSL_ENCODER_to_data(encoder.get(), &data, &length) != 1) {
        throw CryptoError("Private key encoding");
    }
    Bytes der(data, data + length);
    OPENSSL_clear_free(data, length);
    return der;
}

Bytes EcPrivateKey::publicKeyX963() const {
    Bytes point(uncompressedPointLength);
    std::size_t length = 0;
    if (EVP_PKEY_get_octet_string_param(key_.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size(), &length) !=
        1) {
        throw CryptoError("Public key export");
    }
    // Keys we make or load use the uncompressed form; anything else is not
    // the X9.63 form our certificates and proofs carry.
    if (length != uncompressedPointLength || point[0] != 0x04) {
        throw CryptoError("Public key export (not an uncompressed point)");
    }
    return point;
}

Bytes EcPrivateKey::signSha256(ByteView message) const {
    EvpMdCtxPtr context(EVP_MD_CTX_new());
    std::size_t length = 0;
    if (!context ||
        EVP_DigestSignInit_ex(context.get(), nullptr, "SHA256", nullptr, nullptr, key_.get(), nullptr) != 1 ||
        EVP_DigestSign(context.get(), nullptr, &length, message.data(), message.size()) != 1) {
        throw CryptoError("ECDSA signing");
    }
    Bytes signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, message.data(), message.size()) != 1) {
        throw CryptoError("ECDSA signing");
    }
    signature.resize(length);
    return signature;
}

bool EcPrivateKey::matchesPublicKey(const EVP_PKEY* publicKey) const {
    return publicKey != nullptr && EVP_PKEY_eq(key_.get(), publicKey) == 1;
}

}  // namespace zentrabo::platform
