#include <openssl/evp.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include "platform/crypto/openssl_ptr.hpp"
#include "platform/text/base64.hpp"
#include "security/der_certificate.hpp"
#include "security/halvardine_relay.hpp"
#include "security/halvardine_relay_registration_proof.hpp"
#include "security_fixture.hpp"

namespace zentrabo {
namespace {

using Proof = HalvardineRelayRegistrationProof;

// Checks the signature with OpenSSL alone, from the exported public key.
bool opensslVerifies(const Proof& proof, std::string_view text) {
    platform::Bytes point;
    platform::Bytes signature;
    if (!platform::base64Decode(proof.publicKey, point) || !platform::base64Decode(proof.signature, signature)) {
        return false;
    }
    const platform::Bytes spki = DER::subjectPublicKeyInfo(point);
    const unsigned char* cursor = spki.data();
    platform::EvpPkeyPtr key(d2i_PUBKEY(nullptr, &cursor, static_cast<long>(spki.size())));
    platform::EvpMdCtxPtr context(EVP_MD_CTX_new());
    return key &&
           EVP_DigestVerifyInit_ex(context.get(), nullptr, "SHA256", nullptr, nullptr, key.get(), nullptr) == 1 &&
           EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                            reinterpret_cast<const unsigned char*>(text.data()), text.size()) == 1;
}

class RelayProofTest : public testing::SecurityFixture {};

TEST_F(RelayProofTest, ProofVerifiesWithTheExportedKey) {
    const Proof proof = Proof::make(security, "Mac-01", "zentrabo-server", 2);
    EXPECT_EQ(proof.signatureAlgorithm, "p256-x963-sha256");
    EXPECT_EQ(proof.publicKey.size(), 88u);
    EXPECT_EQ(proof.signedAt, 978307200 + 800000000);
    const std::string text = Proof::canonicalText("Mac-01", "zentrabo-server", 2, proof.signedAt, proof.publicKey);
    EXPECT_EQ(text, "zentrabo-relay-register-v2\nmac-01\nzentrabo-server\n2\n1778307200\n" + proof.publicKey);
    EXPECT_TRUE(opensslVerifies(proof, text));
    EXPECT_FALSE(opensslVerifies(proof, text + " "));
}

TEST_F(RelayProofTest, LaterProofKeepsTheKeyAndSignsTheNewTime) {
    const Proof first = Proof::make(security, std::nullopt, " zentrabo-server\n", 2);
    clock.advance(1.5);
    restart();
    const Proof second = Proof::make(security, std::nullopt, "zentrabo-server", 2);
    EXPECT_EQ(second.publicKey, first.publicKey);
    EXPECT_EQ(second.signedAt, first.signedAt + 1);
    EXPECT_NE(second.signature, first.signature);
    // No device identifier: an empty second line, still six lines; the role is trimmed.
    EXPECT_TRUE(opensslVerifies(first, "zentrabo-relay-register-v2\n\nzentrabo-server\n2\n" +
                                           std::to_string(first.signedAt) + "\n" + first.publicKey));
}

TEST(HalvardineRelay, HostNormalisation) {
    EXPECT_EQ(HalvardineRelay::normalizedHost("  https://relay.example.com/path/x \n"), "relay.example.com");
    EXPECT_EQ(HalvardineRelay::normalizedHost("http://relay.example.com:8443/path"), "relay.example.com:8443");
    EXPECT_EQ(HalvardineRelay::normalizedHost("Relay.Example.com"), "Relay.Example.com");
    EXPECT_EQ(HalvardineRelay::normalizedHost("HTTPS://relay.example.com"), "HTTPS:");
    EXPECT_EQ(HalvardineRelay::normalizedHost("https://http://host"), "http:");
    EXPECT_EQ(HalvardineRelay::normalizedHost("   "), std::nullopt);
    EXPECT_EQ(HalvardineRelay::normalizedHost("https://"), std::nullopt);
    EXPECT_EQ(HalvardineRelay::normalizedHost(std::nullopt), std::nullopt);
}

TEST(HalvardineRelay, DeviceIdentifierNormalisation) {
    EXPECT_EQ(HalvardineRelay::normalizedDeviceID(" Ab-9_Z\xC3\xA9!x.y \n"), "ab-9_zxy");
    EXPECT_EQ(HalvardineRelay::normalizedDeviceID("\xC3\xA9!."), std::nullopt);
    EXPECT_EQ(HalvardineRelay::normalizedDeviceID(std::nullopt), std::nullopt);
}

TEST(HalvardineRelay, Endpoint) {
    EXPECT_EQ(HalvardineRelay::endpoint("https://relay.example.com/", "Mac-01", std::nullopt),
              (HalvardineRelay::Endpoint{"mac-01.relay.example.com", 443}));
    EXPECT_EQ(HalvardineRelay::endpoint("relay.example.com", "Mac-01", 8443)->port, 8443);
    EXPECT_EQ(HalvardineRelay::endpoint("relay.example.com", "!!", 8443), std::nullopt);
    EXPECT_EQ(HalvardineRelay::endpoint(" ", "mac", 8443), std::nullopt);
}

}  // namespace
}  // namespace zentrabo
