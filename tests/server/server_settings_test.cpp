#include <algorithm>
#include <cctype>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/store/key_store.hpp"

#include "server/mac_name.hpp"
#include "server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using State = HalvardineRelayConnectionState;
using Duration = HalvardineExtraAuthorizationSessionDuration;

bool isLowercaseHex(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'a' && c <= 'f'); });
}

TEST_F(ServerTest, FreshInstallationStartsWithDefaults) {
    auto server = makeServer();
    EXPECT_FALSE(*server->isRunning());
    EXPECT_EQ(*server->serviceName(), macName() + " Zentrabo");
    // Listening has started, but the listener has not reported ready yet.
    EXPECT_FALSE(server->port()->has_value());
    EXPECT_EQ(*server->serverCertificateFingerprint(), security().loadOrCreateIdentity(true).fingerprint);
    EXPECT_FALSE(*server->relayEnabled());
    EXPECT_EQ(*server->relayHost(), "");
    EXPECT_EQ(*server->relayClientPort(), 443);
    EXPECT_EQ(*server->relayControlPort(), 8443);
    EXPECT_EQ(server->relayDeviceID()->size(), 32u);
    EXPECT_TRUE(isLowercaseHex(*server->relayDeviceID()));
    EXPECT_EQ(*server->relayConnectionState(), State::disabled);
    EXPECT_FALSE(server->relayStatusMessage()->has_value());
    EXPECT_EQ(*server->extraAuthorizationSessionDuration(), Duration::background);
    EXPECT_NE(home.logText().find("HalvardineServer init"), std::string::npos);

    // The new device identifier is stored for the next start.
    EXPECT_EQ(defaults->string("relayDeviceID"), *server->relayDeviceID());
}

TEST_F(ServerTest, SettingsSurviveARestart) {
    std::string deviceID;
    {
        auto server = makeServer();
        deviceID = *server->relayDeviceID();
        server->setRelayEnabled(true);
        EXPECT_TRUE(server->updateRelayHost("relay.example.com"));
        server->setRelayClientPort(4443);
        server->setRelayControlPort(9443);
        defaults->set("extraAuthorizationSessionDuration", std::string("standard"));
    }
    EXPECT_NE(home.logText().find("HalvardineServer deinit"), std::string::npos);

    auto server = makeServer();
    EXPECT_TRUE(*server->relayEnabled());
    EXPECT_EQ(*server->relayHost(), "relay.example.com");
    EXPECT_EQ(*server->relayClientPort(), 4443);
    EXPECT_EQ(*server->relayControlPort(), 9443);
    EXPECT_EQ(*server->relayDeviceID(), deviceID);
    EXPECT_EQ(*server->extraAuthorizationSessionDuration(), Duration::standard);
}

TEST_F(ServerTest, StoredPortsOutsideTheirRangeReadAsDefaults) {
    for (const std::int64_t stored : {std::int64_t{0}, std::int64_t{70000}, std::int64_t{-443}}) {
        makeServer();
        defaults->set("relayClientPort", stored);
        defaults->set("relayControlPort", stored);
        auto server = makeServer();
        EXPECT_EQ(*server->relayClientPort(), 443) << stored;
        EXPECT_EQ(*server->relayControlPort(), 8443) << stored;
    }
    makeServer();
    defaults->set("relayClientPort", std::int64_t{1});
    defaults->set("relayControlPort", std::int64_t{65535});
    auto server = makeServer();
    EXPECT_EQ(*server->relayClientPort(), 1);
    EXPECT_EQ(*server->relayControlPort(), 65535);
}

TEST_F(ServerTest, UnusableStoredSettingsFallBack) {
    makeServer();
    defaults->set("relayHost", std::string("https://"));
    defaults->set("relayDeviceID", std::string("%%%"));
    defaults->set("extraAuthorizationSessionDuration", std::string("5 min"));
    auto server = makeServer();
    EXPECT_EQ(*server->relayHost(), "");
    EXPECT_EQ(*server->extraAuthorizationSessionDuration(), Duration::background);
    // A rejected identifier is replaced, and the replacement is stored.
    EXPECT_EQ(server->relayDeviceID()->size(), 32u);
    EXPECT_EQ(defaults->string("relayDeviceID"), *server->relayDeviceID());
}

TEST_F(ServerTest, StoredDeviceIDIsNormalisedButNotRewritten) {
    makeServer();
    defaults->set("relayDeviceID", std::string(" My-Mac_01! "));
    auto server = makeServer();
    EXPECT_EQ(*server->relayDeviceID(), "my-mac_01");
    EXPECT_EQ(defaults->string("relayDeviceID"), " My-Mac_01! ");
}

TEST_F(ServerTest, AListenerThatCannotStartWaitsForARestart) {
    // A key store that cannot be read holds no server identity.
    const auto keyStore = platform::KeyStore::filePath();
    std::filesystem::create_directories(keyStore.parent_path());
    std::ofstream(keyStore) << "not a key store";
    auto server = makeServer();
    EXPECT_NE(home.logText().find("NWListener start failed: "), std::string::npos);
    EXPECT_EQ(home.logText().find("NWListener started"), std::string::npos);
    EXPECT_FALSE(*server->isRunning());
    EXPECT_FALSE(server->port()->has_value());
    EXPECT_FALSE(server->serverCertificateFingerprint()->has_value());
    EXPECT_TRUE(relay->configurations.empty());

    std::filesystem::remove(keyStore);
    server->restart();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!server->port()->has_value() && std::chrono::steady_clock::now() < deadline) {
        mainLoop.runReady();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(*server->isRunning());
    EXPECT_TRUE(server->port()->has_value());
    EXPECT_EQ(*server->serverCertificateFingerprint(), security().loadOrCreateIdentity(true).fingerprint);
    // The restart and the ready report each hand the connector the port they know.
    ASSERT_EQ(relay->configurations.size(), 2u);
}

}  // namespace
}  // namespace zentrabo::testing
