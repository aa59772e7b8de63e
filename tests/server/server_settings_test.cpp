#include <chrono>
#include <fstream>
#include <thread>

#include "platform/store/key_store.hpp"

#include "server/mac_name.hpp"
#include "support/server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using State = HalvardineRelayConnectionState;
using Duration = HalvardineExtraAuthorizationSessionDuration;

TEST_F(ServerTest, FreshInstallationStartsWithDefaults) {
    auto server = makeServer();
    EXPECT_FALSE(*server->listener().isRunning());
    EXPECT_EQ(*server->listener().serviceName(), macName() + " Zentrabo");
    // Listening has started, but the listener has not reported ready yet.
    EXPECT_FALSE(server->listener().port()->has_value());
    EXPECT_EQ(*server->listener().serverCertificateFingerprint(), security().loadOrCreateIdentity(true).fingerprint);
    EXPECT_EQ(*server->relay().relayConnectionState(), State::disabled);
    EXPECT_EQ(*server->extraAuthorization().sessionDuration(), Duration::background);
    EXPECT_NE(home.logText().find("HalvardineServer init"), std::string::npos);
}

TEST_F(ServerTest, TheFeaturesSettingsSurviveARestartOfTheServer) {
    std::string deviceID;
    {
        auto server = makeServer();
        deviceID = *server->relay().relayDeviceID();
        EXPECT_FALSE(server->relay().updateRelayHost("relay.example.com"));
        defaults->set("extraAuthorizationSessionDuration", std::string("standard"));
    }
    EXPECT_NE(home.logText().find("HalvardineServer deinit"), std::string::npos);

    auto server = makeServer();
    EXPECT_EQ(*server->relay().relayHost(), "relay.example.com");
    EXPECT_EQ(*server->relay().relayDeviceID(), deviceID);
    EXPECT_EQ(*server->extraAuthorization().sessionDuration(), Duration::standard);
}

TEST_F(ServerTest, AListenerThatCannotStartWaitsForARestart) {
    // A key store that cannot be read holds no server identity.
    const auto keyStore = platform::KeyStore::filePath();
    std::filesystem::create_directories(keyStore.parent_path());
    std::ofstream(keyStore) << "not a key store";
    auto server = makeServer();
    EXPECT_NE(home.logText().find("NWListener start failed: "), std::string::npos);
    EXPECT_EQ(home.logText().find("NWListener started"), std::string::npos);
    EXPECT_FALSE(*server->listener().isRunning());
    EXPECT_FALSE(server->listener().port()->has_value());
    EXPECT_FALSE(server->listener().serverCertificateFingerprint()->has_value());
    EXPECT_TRUE(relay->configurations.empty());

    std::filesystem::remove(keyStore);
    server->restart();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!server->listener().port()->has_value() && std::chrono::steady_clock::now() < deadline) {
        mainLoop.runReady();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(*server->listener().isRunning());
    EXPECT_TRUE(server->listener().port()->has_value());
    EXPECT_EQ(*server->listener().serverCertificateFingerprint(), security().loadOrCreateIdentity(true).fingerprint);
    // The restart and the ready report each hand the connector the port they know.
    ASSERT_EQ(relay->configurations.size(), 2u);
}

}  // namespace
}  // namespace zentrabo::testing
