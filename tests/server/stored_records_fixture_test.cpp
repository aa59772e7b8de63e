// The records the server keeps in the settings file and the key store, as
// earlier versions wrote them (tests/platform/store/fixtures/): they read
// back as stored and encode to the very same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/key_store.hpp"
#include "security/halvardine_keychain.hpp"
#include "server/authorization/paired_device_store.hpp"
#include "server/extra_authorization/extra_authorization_password.hpp"
#include "support/file_text.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

void installFixture(std::string_view name, const std::filesystem::path& path) {
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::copy_file(std::filesystem::path(ZENTRABO_SOURCE_DIR "/tests/platform/store/fixtures") / name,
                               path);
}

TEST(StoredRecordsFixture, PairedDevicesAndThePasswordRecordReadBackAndEncodeAsStored) {
    testing::TemporaryHome home;
    std::filesystem::create_directories(home.logFolder());
    installFixture("defaults.json", platform::UserDefaults::filePath());
    installFixture("keystore.json", platform::KeyStore::filePath());
    const std::string storedSettings = testing::fileText(platform::UserDefaults::filePath());
    platform::ManualClock clock;
    platform::MainLoop loop;
    auto defaults = platform::UserDefaults::create(clock, loop.executor(), [](const std::string&) {});

    const auto devices = loadAuthorizedClientDevices(*defaults, platform::Date{9.0});
    const std::vector<AuthorizedClientDevice> expected{
        {"Anna’s iPhone \"15\"", std::string(64, 'a'), platform::Date{700000000.123456}, platform::Date{768000000.5},
         Channel::relay},
        {"iPad 9", std::string(64, 'c'), platform::Date{1e-7}, platform::Date{0}, std::nullopt},
        {"iPad 10", std::string(64, 'b'), platform::Date{-3.5}, std::nullopt, Channel::local},
    };
    EXPECT_EQ(devices, expected);
    saveAuthorizedClientDevices(*defaults, devices, platform::DefaultsWrite::immediate);
    EXPECT_EQ(testing::fileText(platform::UserDefaults::filePath()), storedSettings);

    HalvardineKeychain keychain;
    const auto record = ExtraAuthorizationPasswordItem::load(keychain);
    ASSERT_TRUE(record);
    EXPECT_TRUE(verifyExtraAuthorizationPassword("Pässwort ✓ \"quoted\"", *record));
    EXPECT_EQ(extraAuthorizationPasswordItemText(*record),
              keychain.readString(ExtraAuthorizationPasswordItem::account, ExtraAuthorizationPasswordItem::service()));
}

}  // namespace
}  // namespace zentrabo
