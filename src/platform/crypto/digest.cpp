#include "platform/crypto/digest.hpp"

#include <climits>

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include "platform/crypto/crypto_error.hpp"
#include "platform/crypto/openssl_ptr.hpp"

namespace zentrabo::platform {
namespace {

// Fetched once: with the built-in algorithm object OpenSSL 3 looks the
// algorithm up in its provider tables, under their locks, on every digest.
const EVP_MD* sha256Algorithm() {
    static EVP_MD* const algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return algorithm;
}

}  // namespace

Sha256Digest sha256(ByteView data) {
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_Digest(data.data(), data.size(), digest.data(), &length, sha256Algorithm(), nullptr) != 1 ||
        length != digest.size()) {
        throw CryptoError("SHA-256");
    }
    return digest;
}

std::string sha256Hex(ByteView data) { return hexLower(sha256(data)); }

Sha256Digest hmacSha256(ByteView key, ByteView data) {
    EvpMacPtr mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    if (!mac) throw CryptoError("HMAC-SHA256");
    EvpMacCtxPtr context(EVP_MAC_CTX_new(mac.get()));
    if (!context) throw CryptoError("HMAC-SHA256");
    char digestName[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digestName, 0),
                                 OSSL_PARAM_construct_end()};
    // An empty key is legal for HMAC; OpenSSL wants a non-null pointer for it.
    static const std::uint8_t emptyKey = 0;
    const std::uint8_t* keyData = key.empty() ? &emptyKey : key.data();
    Sha256Digest digest{};
    std::size_t length = 0;
    if (EVP_MAC_init(context.get(), keyData, key.size(), params) != 1 ||
        EVP_MAC_update(context.get(), data.data(), data.size()) != 1 ||
        EVP_MAC_final(context.get(), digest.data(), &length, digest.size()) != 1 || length != digest.size()) {
        throw CryptoError("HMAC-SHA256");
    }
    return digest;
}

Bytes pbkdf2HmacSha256(ByteView password, ByteView salt, std::uint32_t iterations, std::size_t keyLength) {
    if (iterations == 0 || iterations > INT_MAX || keyLength == 0 || keyLength > INT_MAX || password.size() > INT_MAX ||
        salt.size() > INT_MAX) {
        throw CryptoError("PBKDF2 (parameters out of range)");
    }
    Bytes key(keyLength);
    if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()),
                          salt.data(), static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                          static_cast<int>(keyLength), key.data()) != 1) {
        throw CryptoError("PBKDF2");
    }
    return key;
}

bool constantTimeEquals(ByteView a, ByteView b) noexcept {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;
    return CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace zentrabo::platform
