#include <openssl/evp.h>

#include <gtest/gtest.h>

#include "platform/crypto/ec_private_key.hpp"
#include "platform/crypto/openssl_ptr.hpp"

namespace zentrabo::platform {
namespace {

bool opensslVerifies(EVP_PKEY* key, ByteView message, ByteView signature) {
    EvpMdCtxPtr context(EVP_MD_CTX_new());
    return EVP_DigestVerifyInit_ex(context.get(), nullptr, "SHA256", nullptr, nullptr, key, nullptr) == 1 &&
           EVP_DigestVerify(context.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

TEST(EcPrivateKey, ExportsTheUncompressedPublicPoint) {
    const EcPrivateKey key = EcPrivateKey::generate();
    const Bytes point = key.publicKeyX963();
    ASSERT_EQ(point.size(), 65u);
    EXPECT_EQ(point[0], 0x04);
    EXPECT_TRUE(isP256Key(key.native()));
    EXPECT_NE(EcPrivateKey::generate().publicKeyX963(), point);
}

TEST(EcPrivateKey, Pkcs8RoundTripKeepsTheKey) {
    const EcPrivateKey key = EcPrivateKey::generate();
    const auto loaded = EcPrivateKey::fromPkcs8Der(key.toPkcs8Der());
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->publicKeyX963(), key.publicKeyX963());
    EXPECT_TRUE(loaded->matchesPublicKey(key.native()));
    EXPECT_FALSE(loaded->matchesPublicKey(EcPrivateKey::generate().native()));
}

TEST(EcPrivateKey, RefusesBytesThatAreNotAP256PrivateKey) {
    EXPECT_FALSE(EcPrivateKey::fromPkcs8Der(Bytes{0x30, 0x03, 0x02, 0x01, 0x00}).has_value());
    EXPECT_FALSE(EcPrivateKey::fromPkcs8Der({}).has_value());
    Bytes trailing = EcPrivateKey::generate().toPkcs8Der();
    trailing.push_back(0x00);
    EXPECT_FALSE(EcPrivateKey::fromPkcs8Der(trailing).has_value());

    EvpPkeyPtr otherCurve(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-384"));
    ASSERT_TRUE(otherCurve);
    OsslEncoderCtxPtr encoder(
        OSSL_ENCODER_CTX_new_for_pkey(otherCurve.get(), EVP_PKEY_KEYPAIR, "DER", "PrivateKeyInfo", nullptr));
    unsigned char* der = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(OSSL_ENCODER_to_data(encoder.get(), &der, &length), 1);
    const Bytes p384(der, der + length);
    OPENSSL_free(der);
    EXPECT_FALSE(EcPrivateKey::fromPkcs8Der(p384).has_value());
}

TEST(EcPrivateKey, SignaturesVerifyWithOpenSsl) {
    const EcPrivateKey key = EcPrivateKey::generate();
    const Bytes message{'s', 'i', 'g', 'n', ' ', 'm', 'e'};
    const Bytes signature = key.signSha256(message);
    EXPECT_EQ(signature[0], 0x30);  // DER SEQUENCE { r, s }
    EXPECT_TRUE(opensslVerifies(key.native(), message, signature));
    Bytes altered = message;
    altered[0] ^= 1;
    EXPECT_FALSE(opensslVerifies(key.native(), altered, signature));
}

}  // namespace
}  // namespace zentrabo::platform
