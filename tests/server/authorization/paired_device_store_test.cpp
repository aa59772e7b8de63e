#include "server/authorization/paired_device_store.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/store_files.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

class PairedDeviceStoreTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(home.logFolder()); }

    // A fresh view of the file, as after a relaunch.
    std::shared_ptr<platform::UserDefaults> reopen() {
        defaults.reset();
        defaults = platform::UserDefaults::create(clock, loop.executor(), [](const std::string&) {});
        return defaults;
    }

    std::vector<std::filesystem::path> keptCopies() const {
        std::vector<std::filesystem::path> copies;
        for (const auto& entry : std::filesystem::directory_iterator(platform::configFolder())) {
            if (entry.path().filename().string().starts_with("authorizedClientDevices.unreadable-")) {
                copies.push_back(entry.path());
            }
        }
        return copies;
    }

    testing::TemporaryHome home;
    platform::ManualClock clock{platform::Date{500.0}};
    platform::MainLoop loop;
    std::shared_ptr<platform::UserDefaults> defaults =
        platform::UserDefaults::create(clock, loop.executor(), [](const std::string&) {});
};

TEST_F(PairedDeviceStoreTest, SavedListSurvivesARelaunch) {
    const std::vector<AuthorizedClientDevice> devices{
        {"iPad", std::string(64, 'b'), platform::Date{1.0}, platform::Date{2.5}, Channel::relay},
        {"iPhone", std::string(64, 'a'), platform::Date{3.0}, std::nullopt, std::nullopt},
    };
    saveAuthorizedClientDevices(*defaults, devices, platform::DefaultsWrite::immediate);
    EXPECT_EQ(loadAuthorizedClientDevices(*reopen(), platform::Date{9.0}), devices);
}

TEST_F(PairedDeviceStoreTest, UnreadableListIsKeptAsideOnceAndLogged) {
    const std::string corrupt = R"([{"displayName":"Phone","certificateFingerprint":"aa"}])";
    defaults->set(authorizedClientDevicesKey, platform::Bytes(corrupt.begin(), corrupt.end()));
    EXPECT_TRUE(loadAuthorizedClientDevices(*reopen(), platform::Date{9.0}).empty());
    const auto copies = keptCopies();
    ASSERT_EQ(copies.size(), 1u);
    std::string kept;
    ASSERT_FALSE(platform::readStoreFile(copies.front(), kept));
    EXPECT_EQ(kept, corrupt);
    EXPECT_NE(
        home.logText().find("Stored paired devices are unreadable; a copy was kept at " + copies.front().string()),
        std::string::npos);
    EXPECT_TRUE(defaults->data(authorizedClientDevicesKey).has_value()) << "left in place until a save";

    loadAuthorizedClientDevices(*reopen(), platform::Date{9.0});
    EXPECT_EQ(keptCopies().size(), 1u) << "the same data is kept once";
}

TEST_F(PairedDeviceStoreTest, LegacyListIsMigratedInItsOrderAndRemoved) {
    defaults->set(legacyAuthorizedClientFingerprintsKey, std::vector<std::string>{"EE:FF", " ", "eeff", "ccdd"});
    const auto devices = loadAuthorizedClientDevices(*reopen(), platform::Date{9.0});
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].displayName, "Unknown Device 1");
    EXPECT_EQ(devices[0].certificateFingerprint, "eeff");
    EXPECT_EQ(devices[1].displayName, "Unknown Device 2");
    EXPECT_EQ(devices[1].pairedAt, platform::Date{9.0});
    reopen();
    EXPECT_FALSE(defaults->value(legacyAuthorizedClientFingerprintsKey).has_value());
    EXPECT_EQ(loadAuthorizedClientDevices(*defaults, platform::Date{20.0}).size(), 2u);
}

TEST_F(PairedDeviceStoreTest, NothingStoredLeavesTheStoreUntouched) {
    EXPECT_TRUE(loadAuthorizedClientDevices(*defaults, platform::Date{9.0}).empty());
    EXPECT_FALSE(std::filesystem::exists(platform::UserDefaults::filePath()));
}

}  // namespace
}  // namespace zentrabo
