#include <fstream>

#include "platform/store/key_store.hpp"
#include "platform/text/base64.hpp"
#include "security/halvardine_keychain.hpp"
#include "security/halvardine_security.hpp"
#include "server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using State = HalvardineRelayConnectionState;

std::string relayService() { return std::string(identifierPrefix) + ".relay"; }

std::optional<std::string> storedSecret() { return HalvardineKeychain().readString("relaySecret", relayService()); }

TEST_F(ServerTest, RelaySettersPublishStoreAndReconfigureOnlyOnChange) {
    auto server = makeServer();
    auto enabledWrites = countAssignments(server->relayEnabled());
    auto clientPortWrites = countAssignments(server->relayClientPort());
    auto controlPortWrites = countAssignments(server->relayControlPort());

    server->setRelayEnabled(false);
    server->setRelayClientPort(443);
    server->setRelayControlPort(8443);
    EXPECT_EQ(*enabledWrites + *clientPortWrites + *controlPortWrites, 0);
    EXPECT_TRUE(relay->configurations.empty());
    EXPECT_FALSE(defaults->value("relayEnabled").has_value());
    EXPECT_FALSE(defaults->value("relayClientPort").has_value());

    server->setRelayClientPort(4443);
    server->setRelayControlPort(9443);
    server->setRelayEnabled(true);
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

TEST_F(ServerTest, RelayHostIsTrimmedNormalisedAndStored) {
    auto server = makeServer();
    auto hostWrites = countAssignments(server->relayHost());

    EXPECT_TRUE(server->updateRelayHost("  https://relay.example.com/tunnel \n"));
    EXPECT_EQ(*server->relayHost(), "relay.example.com");
    EXPECT_EQ(defaults->string("relayHost"), "relay.example.com");
    EXPECT_EQ(relay->configurations.size(), 1u);

    // The same host again changes nothing.
    EXPECT_TRUE(server->updateRelayHost(" relay.example.com "));
    EXPECT_EQ(*hostWrites, 1);
    EXPECT_EQ(relay->configurations.size(), 1u);

    // A host that normalises to nothing is refused.
    EXPECT_FALSE(server->updateRelayHost("https://"));
    EXPECT_EQ(*server->relayHost(), "relay.example.com");
    EXPECT_EQ(*hostWrites, 1);

    // Clearing an empty host is a no-op; clearing a set one removes the key.
    EXPECT_TRUE(server->updateRelayHost(" \t"));
    EXPECT_EQ(*server->relayHost(), "");
    EXPECT_FALSE(defaults->value("relayHost").has_value());
    EXPECT_TRUE(server->updateRelayHost(""));
    EXPECT_EQ(*hostWrites, 2);
    EXPECT_EQ(relay->configurations.size(), 2u);
}

TEST_F(ServerTest, EnabledRelayGetsTheWholeConfiguration) {
    auto server = makeServer();
    server->updateRelayHost("relay.example.com:7000/x");
    server->setRelayEnabled(true);

    ASSERT_TRUE(lastConfiguration().has_value());
    const HalvardineRelayConfiguration configuration = *lastConfiguration();
    EXPECT_TRUE(configuration.isEnabled);
    EXPECT_EQ(configuration.host, "relay.example.com:7000");
    EXPECT_EQ(configuration.clientPort, 443);
    EXPECT_EQ(configuration.controlPort, 8443);
    EXPECT_EQ(configuration.deviceID, *server->relayDeviceID());
    EXPECT_FALSE(configuration.localServerPort.has_value());

    // A new secret: 32 random bytes in Base64, kept in the key store only.
    std::vector<std::uint8_t> secretBytes;
    EXPECT_EQ(configuration.secret.size(), 44u);
    EXPECT_TRUE(platform::base64Decode(configuration.secret, secretBytes));
    EXPECT_EQ(secretBytes.size(), 32u);
    EXPECT_EQ(storedSecret(), configuration.secret);
    EXPECT_FALSE(defaults->value("relaySecret").has_value());

    // The same secret on every later configuration.
    server->setRelayClientPort(444);
    EXPECT_EQ(lastConfiguration()->secret, configuration.secret);
}

TEST_F(ServerTest, ClearingTheHostWhileRelayIsOnShowsFailureUntilTheConnectorStops) {
    auto server = makeServer();
    server->updateRelayHost("relay.example.com");
    server->setRelayEnabled(true);
    relay->stateHandler(State::connected, std::nullopt);

    EXPECT_TRUE(server->updateRelayHost(""));
    EXPECT_EQ(*server->relayHost(), "");
    EXPECT_FALSE(defaults->value("relayHost").has_value());
    EXPECT_EQ(*server->relayConnectionState(), State::failed);
    EXPECT_EQ(*server->relayStatusMessage(), "Relay host or device ID is invalid.");
    EXPECT_FALSE(lastConfiguration().has_value());

    relay->stateHandler(State::disabled, std::nullopt);
    EXPECT_EQ(*server->relayConnectionState(), State::disabled);
    EXPECT_FALSE(server->relayStatusMessage()->has_value());
}

TEST_F(ServerTest, RelayStateReportsFollowTheirRules) {
    auto server = makeServer();
    server->updateRelayConnection();
    auto stateWrites = countAssignments(server->relayConnectionState());
    auto messageWrites = countAssignments(server->relayStatusMessage());

    relay->stateHandler(State::connecting, std::nullopt);
    EXPECT_EQ(*server->relayConnectionState(), State::connecting);
    relay->stateHandler(State::failed, std::string("Connection refused"));
    EXPECT_EQ(*stateWrites, 2);

    // A retry does not hide the failure, with its message.
    relay->stateHandler(State::connecting, std::nullopt);
    EXPECT_EQ(*server->relayConnectionState(), State::failed);
    EXPECT_EQ(*server->relayStatusMessage(), "Connection refused");

    // An identical report is not announced; a changed message is.
    relay->stateHandler(State::failed, std::string("Connection refused"));
    EXPECT_EQ(*stateWrites, 2);
    relay->stateHandler(State::failed, std::string("Timed out"));
    EXPECT_EQ(*server->relayStatusMessage(), "Timed out");

    relay->stateHandler(State::connected, std::nullopt);
    EXPECT_EQ(*server->relayConnectionState(), State::connected);
    EXPECT_FALSE(server->relayStatusMessage()->has_value());
    EXPECT_EQ(*stateWrites, 4);
    EXPECT_EQ(*messageWrites, 4);
}

TEST_F(ServerTest, ConnectorThatCannotBeMadeShowsAsFailedAndIsTriedAgain) {
    auto server = makeServer();
    relay->refuseToMake = true;
    server->updateRelayHost("relay.example.com");
    EXPECT_EQ(*server->relayConnectionState(), State::failed);
    EXPECT_EQ(*server->relayStatusMessage(), "TLS settings refused");
    EXPECT_NE(home.logText().find("Relay connector unavailable: TLS settings refused"), std::string::npos);

    relay->refuseToMake = false;
    server->setRelayEnabled(true);
    EXPECT_EQ(relay->connectorsMade, 1);
    EXPECT_TRUE(lastConfiguration().has_value());
}

TEST_F(ServerTest, RelayReportAfterTheServerIsGoneDoesNothing) {
    auto server = makeServer();
    server->updateRelayConnection();
    auto handler = relay->stateHandler;
    server.reset();
    handler(State::connected, std::nullopt);
}

TEST_F(ServerTest, LegacySecretMovesToTheKeyStore) {
    auto server = makeServer();
    defaults->set("relaySecret", std::string("  legacy-secret\n"));
    EXPECT_EQ(server->loadOrCreateRelaySecret(), "legacy-secret");
    EXPECT_FALSE(defaults->value("relaySecret").has_value());
    EXPECT_EQ(storedSecret(), "legacy-secret");

    // A leftover legacy key beside a stored secret is removed too.
    defaults->set("relaySecret", std::string("older"));
    EXPECT_EQ(server->loadOrCreateRelaySecret(), "legacy-secret");
    EXPECT_FALSE(defaults->value("relaySecret").has_value());
}

TEST_F(ServerTest, UnusableKeyStoreKeepsTheSecretInTheSettings) {
    auto server = makeServer();
    const auto keyStore = platform::KeyStore::filePath();
    std::filesystem::create_directories(keyStore.parent_path());
    std::ofstream(keyStore) << "not a key store";

    const std::string secret = server->loadOrCreateRelaySecret();
    EXPECT_EQ(secret.size(), 44u);
    EXPECT_EQ(defaults->string("relaySecret"), secret);
    EXPECT_NE(home.logText().find("Relay secret Keychain save failed: "), std::string::npos);
    // Read back from the settings while the key store stays unusable; the
    // failed migration keeps the legacy key.
    EXPECT_EQ(server->loadOrCreateRelaySecret(), secret);
    EXPECT_EQ(defaults->string("relaySecret"), secret);
    EXPECT_NE(home.logText().find("Relay secret Keychain migration failed: "), std::string::npos);
    EXPECT_EQ(home.logText().find(secret), std::string::npos);
}

}  // namespace
}  // namespace zentrabo::testing
