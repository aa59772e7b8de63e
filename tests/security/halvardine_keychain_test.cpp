#include <gtest/gtest.h>

#include "platform/store/key_store.hpp"
#include "security/halvardine_keychain.hpp"
#include "security/halvardine_security_error.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

class HalvardineKeychainTest : public ::testing::Test {
protected:
    testing::TemporaryHome home;
    HalvardineKeychain keychain;
    platform::KeyStore store;
};

TEST_F(HalvardineKeychainTest, SavingAddsThenReplacesOneItem) {
    EXPECT_FALSE(keychain.readString("relaySecret", "org.zentrabo.Halvardine.relay").has_value());
    keychain.saveString("first", "relaySecret", "org.zentrabo.Halvardine.relay");
    keychain.saveString("second", "relaySecret", "org.zentrabo.Halvardine.relay");
    EXPECT_EQ(keychain.readString("relaySecret", "org.zentrabo.Halvardine.relay"), "second");
    // A single item: deleting it once leaves nothing behind.
    const auto query = HalvardineKeychain::passwordQuery("relaySecret", "org.zentrabo.Halvardine.relay");
    EXPECT_EQ(keychain.deleteItem(query), platform::KeyStoreStatus::success);
    EXPECT_FALSE(keychain.readString("relaySecret", "org.zentrabo.Halvardine.relay").has_value());
    EXPECT_EQ(keychain.deleteItem(query), platform::KeyStoreStatus::itemNotFound);
}

TEST_F(HalvardineKeychainTest, TextThatIsNotUtf8ReadsAsNone) {
    ASSERT_EQ(store.addPassword("service", "account", platform::Bytes{0x61, 0xC3, 0x28}),
              platform::KeyStoreStatus::success);
    EXPECT_FALSE(keychain.readString("account", "service").has_value());
    keychain.saveString("caf\xC3\xA9", "account", "service");
    EXPECT_EQ(keychain.readString("account", "service"), "caf\xC3\xA9");
}

TEST_F(HalvardineKeychainTest, RefusedUpdateThrowsItsStatusAndAddsNothing) {
    std::filesystem::create_directories(platform::KeyStore::filePath().parent_path());
    { std::ofstream(platform::KeyStore::filePath()) << "not a key store"; }
    try {
        keychain.saveString("value", "passwordHash", "org.zentrabo.Halvardine.extraAuthorization");
        FAIL() << "expected HalvardineSecurityError";
    } catch (const HalvardineSecurityError& error) {
        EXPECT_STREQ(error.what(), "Secure identity unavailable: Keychain update failed with status -26275.");
    }
    EXPECT_FALSE(keychain.readString("passwordHash", "org.zentrabo.Halvardine.extraAuthorization"));
}

}  // namespace
}  // namespace zentrabo
