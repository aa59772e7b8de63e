// Key stores and settings files as earlier versions wrote them
// (fixtures/): every item reads back as it was stored, and a rewrite gives
// the same bytes again, so an upgrade never changes or loses a user's files.
#include <filesystem>
#include <fstream>
#include <limits>

#include <asio/io_context.hpp>

#include <gtest/gtest.h>

#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/key_store.hpp"
#include "platform/store/user_defaults.hpp"
#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::platform {
namespace {

using testing::fileText;

// Puts the fixture where the store reads it; its text, for comparing.
std::string installFixture(std::string_view name, const std::filesystem::path& path) {
    const std::string text =
        fileText(std::filesystem::path(ZENTRABO_SOURCE_DIR "/tests/platform/store/fixtures") / name);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return text;
}

Bytes everyByte() {
    Bytes bytes;
    for (int value = 0; value < 256; ++value) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
}

TEST(StoredFileFixtures, AKeyStoreReadsBackAndIsRewrittenByteForByte) {
    testing::TemporaryHome home;
    const std::string stored = installFixture("keystore.json", KeyStore::filePath());
    ASSERT_FALSE(stored.empty());
    KeyStore store;

    std::vector<KeyStoreIdentity> identities;
    ASSERT_EQ(store.findIdentities(identities), KeyStoreStatus::success);
    EXPECT_EQ(identities.size(), 2u) << "the server's and the client's";
    std::vector<Certificate> certificates;
    EXPECT_EQ(store.findCertificates("Zentrabo Server TLS Identity", certificates), KeyStoreStatus::success);
    EXPECT_EQ(certificates.size(), 1u);
    std::optional<EcPrivateKey> key;
    EXPECT_EQ(store.findKey("org.zentrabo.Halvardine.relay.control.key", key), KeyStoreStatus::success);
    Bytes data;
    ASSERT_EQ(
        store.readPassword("service \"quoted\" \\ / \u2028 é 🙂", std::string_view("account\x01\t\x7f", 10), data),
        KeyStoreStatus::success);
    EXPECT_EQ(data, everyByte());
    ASSERT_EQ(store.readPassword("empty", "", data), KeyStoreStatus::success);
    EXPECT_TRUE(data.empty());

    // A change and its undoing rewrite the file twice.
    ASSERT_EQ(store.addPassword("added", "account", Bytes{1}), KeyStoreStatus::success);
    EXPECT_NE(fileText(KeyStore::filePath()), stored);
    ASSERT_EQ(store.deletePassword("added", "account"), KeyStoreStatus::success);
    EXPECT_EQ(fileText(KeyStore::filePath()), stored);
}

TEST(StoredFileFixtures, ASettingsFileReadsBackAndIsRewrittenByteForByte) {
    testing::TemporaryHome home;
    const std::string stored = installFixture("defaults.json", UserDefaults::filePath());
    ASSERT_FALSE(stored.empty());
    ManualClock clock;
    asio::io_context writer;
    std::vector<std::string> problems;
    auto defaults = UserDefaults::create(clock, writer.get_executor(),
                                         [&](const std::string& problem) { problems.push_back(problem); });

    EXPECT_EQ(defaults->boolean("flag"), false);
    EXPECT_EQ(defaults->integer("smallest"), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(defaults->integer("largest"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(defaults->value("tenth"), DefaultsValue(0.1));
    EXPECT_EQ(defaults->value("tiny"), DefaultsValue(5e-324));
    EXPECT_EQ(defaults->value("huge"), DefaultsValue(1.7976931348623157e308));
    EXPECT_EQ(defaults->value("negative"), DefaultsValue(-2.5e-7));
    EXPECT_EQ(defaults->value("extraAuthorizationSessionDuration"), DefaultsValue(900.5));
    EXPECT_EQ(defaults->string("text"), "line\nbreak\ttab \x01 \\ / \u2028 🙂");
    EXPECT_EQ(defaults->string("fileReceiveFolderPath"), "/home/me/Downloads/Empfangen ✓");
    EXPECT_EQ(defaults->data("binary"), everyByte());
    EXPECT_EQ(defaults->stringArray("emptyList"), std::vector<std::string>{});
    EXPECT_EQ(defaults->stringArray("extraAuthorizationLocalScopes"),
              (std::vector<std::string>{"files", "stream", "ünïcode \"q\""}));
    EXPECT_TRUE(defaults->data("authorizedClientDevices"));

    defaults->set("added", true);
    defaults->remove("added");
    EXPECT_EQ(fileText(UserDefaults::filePath()), stored);
    EXPECT_TRUE(problems.empty());
}

}  // namespace
}  // namespace zentrabo::platform
