#include <string>

#include <gtest/gtest.h>

#include "platform/crypto/crypto_error.hpp"
#include "platform/crypto/digest.hpp"

namespace zentrabo::platform {
namespace {

TEST(Digest, KnownVectors) {
    EXPECT_EQ(sha256Hex(bytesOf("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hexLower(hmacSha256(bytesOf("Jefe"), bytesOf("what do ya want for nothing?"))),
              "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");
    EXPECT_EQ(hexLower(pbkdf2HmacSha256(bytesOf("passwd"), bytesOf("salt"), 1, 64)),
              "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
              "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
}

TEST(Digest, HmacAcceptsAnEmptyKeyAndEmptyData) {
    EXPECT_EQ(hexLower(hmacSha256({}, {})), "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad");
}

TEST(Digest, Pbkdf2RefusesParametersOutOfRange) {
    EXPECT_THROW(pbkdf2HmacSha256(bytesOf("p"), bytesOf("s"), 0, 32), CryptoError);
    EXPECT_THROW(pbkdf2HmacSha256(bytesOf("p"), bytesOf("s"), 1, 0), CryptoError);
}

}  // namespace
}  // namespace zentrabo::platform
