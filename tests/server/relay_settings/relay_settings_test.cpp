// The relay settings on their own: a temporary home, its settings and key
// store, a listener status and a connector that records what it is handed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "platform/store/key_store.hpp"
#include "platform/text/base64.hpp"
#include "security/halvardine_keychain.hpp"
#include "security/halvardine_security.hpp"
#include "server/relay_settings/relay_settings.hpp"
#include "support/published_count.hpp"
#include "support/relay_recorder.hpp"
#include "support/temporary_home.hpp"

namespace zentrabo::testing {
namespace {

using State = HalvardineRelayConnectionState;

class RelaySettingsTest : public ::testing::Test {
protected:
    // The log appends only into an existing folder, as after installation.
    void SetUp() override { std::filesystem::create_directories(home.logFolder()); }

    // Settings on a fresh view of the stores, as after a restart.
    std::shared_ptr<RelaySettings> makeSettings() {
        defaults = platform::UserDefaults::create(clock, mainLoop.executor(), [](const std::string&) {});
        relay = std::make_shared<RelayRecord>();
        return std::make_shared<RelaySettings>(*defaults, keychain, recordingRelayFactory(relay), listener);
    }

    // The last configuration handed to the connector.
    const std::optional<HalvardineRelayConfiguration>& lastConfiguration() const {
        return relay->configurations.back();
    }

    TemporaryHome home;
    platform::MainLoop mainLoop;
    platform::ManualClock clock{platform::Date{800'000'000.0}};
    HalvardineKeychain keychain;
    ListenerStatus listener;
    std::shared_ptr<platform::UserDefaults> defaults;
    std::shared_ptr<RelayRecord> relay;
};

bool isLowercaseHex(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f'); });
}

std::string relayService() { return std::string(identifierPrefix) + ".relay"; }

std::optional<std::string> storedSecret() { return HalvardineKeychain().readString("relaySecret", relayService()); }

TEST_F(RelaySettingsTest, FreshInstallationStartsWithDefaultsAndStoresANewDeviceID) {
    auto settings = makeSettings();
    EXPECT_FALSE(*settings->relayEnabled());
    EXPECT_EQ(*settings->relayHost(), "");
    EXPECT_EQ(*settings->relayClientPort(), 443);
    EXPECT_EQ(*settings->relayControlPort(), 8443);
    EXPECT_EQ(settings->relayDeviceID()->size(), 32u);
    EXPECT_TRUE(isLowercaseHex(*settings->relayDeviceID()));
    EXPECT_EQ(*settings->relayConnectionState(), State::disabled);
    EXPECT_FALSE(settings->relayStatusMessage()->has_value());
    // The new device identifier is stored for the next start.
    EXPECT_EQ(defaults->string("relayDeviceID"), *settings->relayDeviceID());
}

TEST_F(RelaySettingsTest, SettingsSurviveARestart) {
    std::string deviceID;
    {
        auto settings = makeSettings();
        deviceID = *settings->relayDeviceID();
        settings->setRelayEnabled(true);
        EXPECT_FALSE(settings->updateRelayHost("relay.example.com"));
        settings->setRelayClientPort(4443);
        settings->setRelayControlPort(9443);
    }
    auto settings = makeSettings();
    EXPECT_TRUE(*settings->relayEnabled());
    EXPECT_EQ(*settings->relayHost(), "relay.example.com");
    EXPECT_EQ(*settings->relayClientPort(), 4443);
    EXPECT_EQ(*settings->relayControlPort(), 9443);
    EXPECT_EQ(*settings->relayDeviceID(), deviceID);
}

TEST_F(RelaySettingsTest, StoredPortsOutsideTheirRangeReadAsDefaults) {
    struct Case {
        std::int64_t stored;
        std::uint16_t clientPort;
        std::uint16_t controlPort;
    };
    for (const Case& each : {Case{0, 443, 8443}, Case{70000, 443, 8443}, Case{-443, 443, 8443}, Case{1, 1, 1},
                             Case{65535, 65535, 65535}}) {
        makeSettings();
        defaults->set("relayClientPort", each.stored);
        defaults->set("relayControlPort", each.stored);
        auto settings = makeSettings();
        EXPECT_EQ(*settings->relayClientPort(), each.clientPort) << each.stored;
        EXPECT_EQ(*settings->relayControlPort(), each.controlPort) << each.stored;
    }
}

TEST_F(RelaySettingsTest, UnusableStoredSettingsFallBack) {
    makeSettings();
    defaults->set("relayHost", std::string("https://"));
    defaults->set("relayDeviceID", std::string("%%%"));
    auto settings = makeSettings();
    EXPECT_EQ(*settings->relayHost(), "");
    // A rejected identifier is replaced, and the replacement is stored.
    EXPECT_EQ(settings->relayDeviceID()->size(), 32u);
    EXPECT_EQ(defaults->string("relayDeviceID"), *settings->relayDeviceID());
}

TEST_F(RelaySettingsTest, StoredDeviceIDIsNormalisedButNotRewritten) {
    makeSettings();
    defaults->set("relayDeviceID", std::string(" My-Mac_01! "));
    auto settings = makeSettings();
    EXPECT_EQ(*settings->relayDeviceID(), "my-mac_01");
    EXPECT_EQ(defaults->string("relayDeviceID"), " My-Mac_01! ");
}

TEST_F(RelaySettingsTest, TheConfigurationCarriesTheListenersCurrentPort) {
    auto settings = makeSettings();
    settings->updateRelayHost("relay.example.com");
    settings->setRelayEnabled(true);
    EXPECT_FALSE(lastConfiguration()->localServerPort.has_value());
    listener.setListenerStatus(true, 50123);
    settings->updateRelayConnection();
    EXPECT_EQ(lastConfiguration()->localServerPort, 50123);
}

TEST_F(RelaySettingsTest, RelaySettersPublishStoreAndReconfigureOnlyOnChange) {
    auto settings = makeSettings();
    auto enabledWrites = countAssignments(settings->relayEnabled());
    auto clientPortWrites = countAssignments(settings->relayClientPort());
    auto controlPortWrites = countAssignments(settings->relayControlPort());

    settings->setRelayEnabled(false);
    settings->setRelayClientPort(443);
    settings->setRelayControlPort(8443);
    EXPECT_EQ(*enabledWrites + *clientPortWrites + *controlPortWrites, 0);
    EXPECT_TRUE(relay->configurations.empty());
    EXPECT_FALSE(defaults->value("relayEnabled").has_value());
    EXPECT_FALSE(defaults->value("relayClientPort").has_value());

    settings->setRelayClientPort(4443);
    settings->setRelayControlPort(9443);
    settings->setRelayEnabled(true);
    EXPECT_EQ(*enabledWrites, 1);
    EXPECT_EQ(*clientPortWrites, 1);
    EXPECT_EQ(*controlPortWrites, 1);
    EXPECT_EQ(defaults->integer("relayClientPort"), 4443);
    EXPECT_EQ(defaults->integer("relayControlPort"), 9443);
    EXPECT_EQ(defaults->boolean("relayEnabled"), true);
    EXPECT_EQ(relay->configurations.size(), 3u);
    // One connector, made by the first update even though relay was off.
    EXPECT_EQ(relay->connectorsMade, 1);
    EXPECT_FALSE(relay->configurations.front().has_value());
}

TEST_F(RelaySettingsTest, RelayHostIsTrimmedNormalisedAndStored) {
    auto settings = makeSettings();
    auto hostWrites = countAssignments(settings->relayHost());

    EXPECT_FALSE(settings->updateRelayHost("  https://relay.example.com/tunnel \n"));
    EXPECT_EQ(*settings->relayHost(), "relay.example.com");
    EXPECT_EQ(defaults->string("relayHost"), "relay.example.com");
    EXPECT_EQ(relay->configurations.size(), 1u);

    // The same host again changes nothing.
    EXPECT_FALSE(settings->updateRelayHost(" relay.example.com "));
    EXPECT_EQ(*hostWrites, 1);
    EXPECT_EQ(relay->configurations.size(), 1u);

    // A host that normalises to nothing is refused.
    EXPECT_EQ(settings->updateRelayHost("https://"), std::errc::invalid_argument);
    EXPECT_EQ(*settings->relayHost(), "relay.example.com");
    EXPECT_EQ(*hostWrites, 1);

    // Clearing an empty host is a no-op; clearing a set one removes the key.
    EXPECT_FALSE(settings->updateRelayHost(" \t"));
    EXPECT_EQ(*settings->relayHost(), "");
    EXPECT_FALSE(defaults->value("relayHost").has_value());
    EXPECT_FALSE(settings->updateRelayHost(""));
    EXPECT_EQ(*hostWrites, 2);
    EXPECT_EQ(relay->configurations.size(), 2u);
}

TEST_F(RelaySettingsTest, EnabledRelayGetsTheWholeConfiguration) {
    auto settings = makeSettings();
    settings->updateRelayHost("relay.example.com:7000/x");
    settings->setRelayEnabled(true);

    ASSERT_TRUE(lastConfiguration().has_value());
    const HalvardineRelayConfiguration configuration = *lastConfiguration();
    EXPECT_TRUE(configuration.isEnabled);
    EXPECT_EQ(configuration.host, "relay.example.com:7000");
    EXPECT_EQ(configuration.clientPort, 443);
    EXPECT_EQ(configuration.controlPort, 8443);
    EXPECT_EQ(configuration.deviceID, *settings->relayDeviceID());
    EXPECT_FALSE(configuration.localServerPort.has_value());

    // A new secret: 32 random bytes in Base64, kept in the key store only.
    std::vector<std::uint8_t> secretBytes;
    EXPECT_EQ(configuration.secret.size(), 44u);
    EXPECT_TRUE(platform::base64Decode(configuration.secret, secretBytes));
    EXPECT_EQ(secretBytes.size(), 32u);
    EXPECT_EQ(storedSecret(), configuration.secret);
    EXPECT_FALSE(defaults->value("relaySecret").has_value());

    // The same secret on every later configuration.
    settings->setRelayClientPort(444);
    EXPECT_EQ(lastConfiguration()->secret, configuration.secret);
}

TEST_F(RelaySettingsTest, ClearingTheHostWhileRelayIsOnShowsFailureUntilTheConnectorStops) {
    auto settings = makeSettings();
    settings->updateRelayHost("relay.example.com");
    settings->setRelayEnabled(true);
    relay->stateHandler(State::connected, std::nullopt);

    EXPECT_FALSE(settings->updateRelayHost(""));
    EXPECT_EQ(*settings->relayHost(), "");
    EXPECT_FALSE(defaults->value("relayHost").has_value());
    EXPECT_EQ(*settings->relayConnectionState(), State::failed);
    EXPECT_EQ(*settings->relayStatusMessage(), "Relay host or device ID is invalid.");
    EXPECT_FALSE(lastConfiguration().has_value());

    relay->stateHandler(State::disabled, std::nullopt);
    EXPECT_EQ(*settings->relayConnectionState(), State::disabled);
    EXPECT_FALSE(settings->relayStatusMessage()->has_value());
}

TEST_F(RelaySettingsTest, RelayStateReportsFollowTheirRules) {
    auto settings = makeSettings();
    settings->updateRelayConnection();
    auto stateWrites = countAssignments(settings->relayConnectionState());
    auto messageWrites = countAssignments(settings->relayStatusMessage());

    relay->stateHandler(State::connecting, std::nullopt);
    EXPECT_EQ(*settings->relayConnectionState(), State::connecting);
    relay->stateHandler(State::failed, std::string("Connection refused"));
    EXPECT_EQ(*stateWrites, 2);

    // A retry does not hide the failure, with its message.
    relay->stateHandler(State::connecting, std::nullopt);
    EXPECT_EQ(*settings->relayConnectionState(), State::failed);
    EXPECT_EQ(*settings->relayStatusMessage(), "Connection refused");

    // An identical report is not announced; a changed message is.
    relay->stateHandler(State::failed, std::string("Connection refused"));
    EXPECT_EQ(*stateWrites, 2);
    relay->stateHandler(State::failed, std::string("Timed out"));
    EXPECT_EQ(*settings->relayStatusMessage(), "Timed out");

    relay->stateHandler(State::connected, std::nullopt);
    EXPECT_EQ(*settings->relayConnectionState(), State::connected);
    EXPECT_FALSE(settings->relayStatusMessage()->has_value());
    EXPECT_EQ(*stateWrites, 4);
    EXPECT_EQ(*messageWrites, 4);
}

TEST_F(RelaySettingsTest, ConnectorThatCannotBeMadeShowsAsFailedAndIsTriedAgain) {
    auto settings = makeSettings();
    relay->refuseToMake = true;
    settings->updateRelayHost("relay.example.com");
    EXPECT_EQ(*settings->relayConnectionState(), State::failed);
    EXPECT_EQ(*settings->relayStatusMessage(), "TLS settings refused");
    EXPECT_NE(home.logText().find("Relay connector unavailable: TLS settings refused"), std::string::npos);

    relay->refuseToMake = false;
    settings->setRelayEnabled(true);
    EXPECT_EQ(relay->connectorsMade, 1);
    EXPECT_TRUE(lastConfiguration().has_value());
}

TEST_F(RelaySettingsTest, RelayReportAfterTheSettingsAreGoneDoesNothing) {
    auto settings = makeSettings();
    settings->updateRelayConnection();
    auto handler = relay->stateHandler;
    settings.reset();
    handler(State::connected, std::nullopt);
}

TEST_F(RelaySettingsTest, LegacySecretMovesToTheKeyStore) {
    auto settings = makeSettings();
    defaults->set("relaySecret", std::string("  legacy-secret\n"));
    EXPECT_EQ(settings->loadOrCreateRelaySecret(), "legacy-secret");
    EXPECT_FALSE(defaults->value("relaySecret").has_value());
    EXPECT_EQ(storedSecret(), "legacy-secret");

    // A leftover legacy key beside a stored secret is removed too.
    defaults->set("relaySecret", std::string("older"));
    EXPECT_EQ(settings->loadOrCreateRelaySecret(), "legacy-secret");
    EXPECT_FALSE(defaults->value("relaySecret").has_value());
}

TEST_F(RelaySettingsTest, UnusableKeyStoreKeepsTheSecretInTheSettings) {
    auto settings = makeSettings();
    const auto keyStore = platform::KeyStore::filePath();
    std::filesystem::create_directories(keyStore.parent_path());
    std::ofstream(keyStore) << "not a key store";

    const std::string secret = settings->loadOrCreateRelaySecret();
    EXPECT_EQ(secret.size(), 44u);
    EXPECT_EQ(defaults->string("relaySecret"), secret);
    EXPECT_NE(home.logText().find("Relay secret Keychain save failed: "), std::string::npos);
    // Read back from the settings while the key store stays unusable; the
    // failed migration keeps the legacy key.
    EXPECT_EQ(settings->loadOrCreateRelaySecret(), secret);
    EXPECT_EQ(defaults->string("relaySecret"), secret);
    EXPECT_NE(home.logText().find("Relay secret Keychain migration failed: "), std::string::npos);
    EXPECT_EQ(home.logText().find(secret), std::string::npos);
}

}  // namespace
}  // namespace zentrabo::testing
