#include "server/extra_authorization/extra_authorization_password.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/crypto/digest.hpp"
#include "platform/text/base64.hpp"
#include "security/halvardine_keychain.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

// A record made with the given iteration count and key length from a fixed salt.
ExtraAuthorizationPasswordRecord recordWith(std::string_view password, std::int64_t iterations,
                                            std::size_t keyLength = 32) {
    const std::string salt = "0123456789abcdef";
    return {"pbkdf2-hmac-sha256", iterations, platform::base64Encode(platform::bytesOf(salt)),
            platform::base64Encode(platform::pbkdf2HmacSha256(platform::bytesOf(password), platform::bytesOf(salt),
                                                              static_cast<std::uint32_t>(iterations), keyLength))};
}

TEST(ExtraAuthorizationPasswordRecord, AMadeRecordHasItsShapeAndVerifiesOnlyItsPassword) {
    const auto record = makeExtraAuthorizationPasswordRecord("correct horse");
    EXPECT_EQ(record.algorithm, "pbkdf2-hmac-sha256");
    EXPECT_EQ(record.iterations, 120000);
    EXPECT_EQ(record.salt.size(), 24u);
    EXPECT_EQ(record.hash.size(), 44u);
    EXPECT_TRUE(verifyExtraAuthorizationPassword("correct horse", record));
    EXPECT_FALSE(verifyExtraAuthorizationPassword("correct horse!", record));
    EXPECT_NE(makeExtraAuthorizationPasswordRecord("correct horse").salt, record.salt) << "salts are random";
}

TEST(ExtraAuthorizationPasswordRecord, ARecordVerifiesWithItsOwnParameters) {
    EXPECT_TRUE(verifyExtraAuthorizationPassword("pw", recordWith("pw", 1000)));
    EXPECT_TRUE(verifyExtraAuthorizationPassword("pw", recordWith("pw", 3, 33))) << "two blocks, 33 bytes kept";
    EXPECT_FALSE(verifyExtraAuthorizationPassword("px", recordWith("pw", 1000)));
}

TEST(ExtraAuthorizationPasswordRecord, MalformedRecordsNeverVerify) {
    const auto good = recordWith("pw", 1000);
    auto record = good;
    record.algorithm = "PBKDF2-HMAC-SHA256";
    EXPECT_FALSE(verifyExtraAuthorizationPassword("pw", record));
    record = good;
    record.iterations = 0;
    EXPECT_FALSE(verifyExtraAuthorizationPassword("pw", record));
    // Would wrap to 1000 if narrowed to 32 bits.
    record.iterations = (std::int64_t{1} << 32) + 1000;
    EXPECT_FALSE(verifyExtraAuthorizationPassword("pw", record));
    record.iterations = std::int64_t{INT_MAX} + 1;
    EXPECT_FALSE(verifyExtraAuthorizationPassword("pw", record));
    record = good;
    record.salt = "not base64!";
    EXPECT_FALSE(verifyExtraAuthorizationPassword("pw", record));
    record = good;
    record.hash += " ";
    EXPECT_FALSE(verifyExtraAuthorizationPassword("pw", record));
    // An empty key would equal the empty derivation of every password.
    record = good;
    record.hash = "";
    EXPECT_FALSE(verifyExtraAuthorizationPassword("pw", record));
    EXPECT_FALSE(verifyExtraAuthorizationPassword("", record));
}

TEST(ExtraAuthorizationPasswordRecord, TheItemTextIsBase64OfTheJsonForm) {
    const auto record = recordWith("pw", 1000);
    const std::string text = extraAuthorizationPasswordItemText(record);
    std::vector<std::uint8_t> json;
    ASSERT_TRUE(platform::base64Decode(text, json));
    EXPECT_EQ(std::string(json.begin(), json.end()), R"({"algorithm":"pbkdf2-hmac-sha256","iterations":1000,"salt":")" +
                                                         record.salt + R"(","hash":")" + record.hash + R"("})");
    EXPECT_EQ(extraAuthorizationPasswordRecordFromItemText(text), record);

    const auto encoded = [](std::string_view json) { return platform::base64Encode(platform::bytesOf(json)); };
    EXPECT_EQ(extraAuthorizationPasswordRecordFromItemText(
                  encoded(R"({"hash":"AA==","extra":1,"salt":"AA==","iterations":5,"algorithm":"a"})")),
              (ExtraAuthorizationPasswordRecord{"a", 5, "AA==", "AA=="}))
        << "order does not matter and unknown keys are ignored";
    EXPECT_FALSE(
        extraAuthorizationPasswordRecordFromItemText(encoded(R"({"algorithm":"a","iterations":5,"salt":"AA=="})")));
    EXPECT_FALSE(extraAuthorizationPasswordRecordFromItemText(
        encoded(R"({"algorithm":"a","iterations":"5","salt":"AA==","hash":"AA=="})")));
    EXPECT_FALSE(extraAuthorizationPasswordRecordFromItemText("{not base64}"));
}

TEST(ExtraAuthorizationPasswordRecord, TheKeyStoreItemIsSavedLoadedAndRemoved) {
    testing::TemporaryHome home;
    HalvardineKeychain keychain;
    EXPECT_FALSE(ExtraAuthorizationPasswordItem::load(keychain));

    const auto record = recordWith("pw", 1000);
    ExtraAuthorizationPasswordItem::save(keychain, record);
    EXPECT_EQ(keychain.readString("passwordHash", "org.zentrabo.Halvardine.extraAuthorization"),
              extraAuthorizationPasswordItemText(record));
    EXPECT_EQ(ExtraAuthorizationPasswordItem::load(keychain), record);

    ExtraAuthorizationPasswordItem::remove(keychain);
    EXPECT_FALSE(ExtraAuthorizationPasswordItem::load(keychain));
    ExtraAuthorizationPasswordItem::remove(keychain);  // nothing left: no harm

    // An item that holds something else is no password, and stays as it is.
    for (const std::string_view content :
         {std::string_view("[1,2]"), std::string_view("not json"), std::string_view("\xff\xfe{\"algorithm\"")}) {
        const std::string other = platform::base64Encode(platform::bytesOf(content));
        keychain.saveString(other, "passwordHash", ExtraAuthorizationPasswordItem::service());
        EXPECT_FALSE(ExtraAuthorizationPasswordItem::load(keychain)) << content;
        EXPECT_EQ(keychain.readString("passwordHash", ExtraAuthorizationPasswordItem::service()), other);
    }
}

}  // namespace
}  // namespace zentrabo
