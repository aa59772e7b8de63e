#include <chrono>
#include <thread>

#include "model/json/record_decoder.hpp"
#include "platform/text/uuid.hpp"
#include "request_client.hpp"
#include "server_fixture.hpp"

namespace zentrabo::testing {
namespace {

using Channel = HalvardineExtraAuthorizationChannel;

class RequestRoadTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = makeServer();
        ASSERT_TRUE(runMainLoopUntil([&] { return server->port()->has_value(); }));
        port = **server->port();
    }

    // Runs the main loop until the condition holds; the bound only keeps a
    // fault from hanging the suite.
    template <typename Condition>
    bool runMainLoopUntil(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            mainLoop.runReady();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    std::unique_ptr<RequestClient> connect(std::vector<std::string> pieces) {
        return std::make_unique<RequestClient>(port, security().clientParameters(std::nullopt),
                                               std::move(pieces));
    }

    // Sends the request and returns the reply line as it arrived.
    std::string exchange(std::vector<std::string> pieces) {
        auto client = connect(std::move(pieces));
        EXPECT_TRUE(runMainLoopUntil([&] {
            return client->exchange().received().find('\n') != std::string::npos || client->finished();
        }));
        // The server closes one second after the reply went out.
        clock.advance(ServerConnection::closeDelayAfterReply);
        EXPECT_TRUE(runMainLoopUntil([&] { return client->finished(); }));
        return client->exchange().received();
    }

    static HalvardineResponse reply(const std::string& line) {
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line feed, at the end";
        return decodeRecord<HalvardineResponse>(std::string_view(line).substr(0, line.size() - 1));
    }

    void pairThisClient() {
        server->completePairing(security().loadOrCreateIdentity(false).fingerprint, std::string("Phone"),
                                Channel::local);
    }

    std::shared_ptr<HalvardineServer> server;
    std::uint16_t port = 0;
};

TEST_F(RequestRoadTest, PairedClientGetsItsReplyAndTheConnectionCloses) {
    pairThisClient();
    const auto response = reply(exchange({R"({"id":"A-1","action":"ping"})" "\n"}));
    EXPECT_TRUE(response.ok);
    EXPECT_EQ(response.id, "A-1");
    EXPECT_EQ(response.port, port);
    EXPECT_EQ(response.serverCertificateFingerprint, *server->serverCertificateFingerprint());
    EXPECT_NE(home.logText().find("Processing request: ping"), std::string::npos);
    EXPECT_EQ(server->activeClientConnectionChannels()->begin()->second, Channel::local);
}

TEST_F(RequestRoadTest, RequestSplitIntoPiecesIsReassembledAndTrailingBytesIgnored) {
    pairThisClient();
    const auto response =
        reply(exchange({R"({"id":"A-2",)", R"("action":)", R"("ping"})" "\n", R"({"id":"next"})" "\n"}));
    EXPECT_TRUE(response.ok);
    EXPECT_EQ(response.id, "A-2");
}

TEST_F(RequestRoadTest, UnpairedAndUnknownRequestsAreRefused) {
    const auto refused = reply(exchange({R"({"id":"A-3","action":"ping"})" "\n"}));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "Not authorized.");
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::notAuthorized);

    // Action names are exact: an unknown one is answered before authorization.
    const auto unknown = reply(exchange({R"({"id":"A-4","action":"PING"})" "\n"}));
    EXPECT_EQ(unknown.error, "Unknown action.");
    EXPECT_FALSE(unknown.errorCode.has_value());

    const auto tooOld = reply(exchange({R"({"id":"A-5","action":"pair","clientProtocolVersion":0})" "\n"}));
    EXPECT_EQ(tooOld.errorCode, HalvardineErrorCode::actionFailed);
}

TEST_F(RequestRoadTest, UnreadableRequestGetsAFailureUnderAFreshID) {
    const auto response = reply(exchange({R"({"action":"ping"})" "\n"}));
    EXPECT_FALSE(response.ok);
    EXPECT_TRUE(platform::canonicalUUIDString(response.id) == response.id) << response.id;
    EXPECT_TRUE(response.error.has_value());
    EXPECT_FALSE(response.errorCode.has_value());
    EXPECT_EQ(response.serverProtocolVersion, 22);
    EXPECT_NE(home.logText().find("Request failed before processing: "), std::string::npos);
}

TEST_F(RequestRoadTest, StalledClientIsDisconnectedWithoutAReply) {
    const std::size_t timersBefore = clock.pendingCount();
    auto client = connect({R"({"id":"A-6","act)"});
    ASSERT_TRUE(runMainLoopUntil([&] { return clock.pendingCount() > timersBefore; }));
    clock.advance(ServerConnection::initialRequestTimeout - 0.5);
    clock.advance(0.5);
    ASSERT_TRUE(runMainLoopUntil([&] { return client->finished(); }));
    EXPECT_EQ(client->exchange().received(), "");
    EXPECT_NE(home.logText().find("Connection closed before the initial request was received"),
              std::string::npos);
}

TEST_F(RequestRoadTest, OpenConnectionsAreBounded) {
    std::vector<std::unique_ptr<RequestClient>> stalled;
    for (std::size_t index = 0; index < ServerConnections::maximumOpenConnections; ++index) {
        stalled.push_back(connect({R"({"id":)"}));
    }
    ASSERT_TRUE(runMainLoopUntil([&] {
        const std::string log = home.logText();
        std::size_t accepted = 0;
        for (auto at = log.find("Accepted connection"); at != std::string::npos;
             at = log.find("Accepted connection", at + 1)) {
            ++accepted;
        }
        return accepted == ServerConnections::maximumOpenConnections;
    }));
    auto refused = connect({R"({"id":"A-9","action":"ping"})" "\n"});
    ASSERT_TRUE(runMainLoopUntil([&] { return refused->finished(); }));
    EXPECT_EQ(refused->exchange().received(), "");
    EXPECT_NE(home.logText().find("Connection refused: too many open connections"), std::string::npos);

    // Once the stalled ones time out, the server takes clients again.
    clock.advance(ServerConnection::initialRequestTimeout);
    ASSERT_TRUE(runMainLoopUntil([&] {
        for (const auto& client : stalled) {
            if (!client->finished()) return false;
        }
        return true;
    }));
    EXPECT_FALSE(reply(exchange({R"({"id":"A-10","action":"ping"})" "\n"})).ok);
}

TEST_F(RequestRoadTest, LoopbackClientCountsAsRelayOnlyWhileTheRelayIsConnected) {
    pairThisClient();
    server->updateRelayHost("relay.example.com");
    server->setRelayEnabled(true);
    relay->stateHandler(HalvardineRelayConnectionState::connecting, std::nullopt);
    exchange({R"({"id":"A-7","action":"ping"})" "\n"});
    EXPECT_EQ(server->activeClientConnectionChannels()->begin()->second, Channel::local);

    relay->stateHandler(HalvardineRelayConnectionState::connected, std::nullopt);
    exchange({R"({"id":"A-8","action":"ping"})" "\n"});
    EXPECT_EQ(server->activeClientConnectionChannels()->begin()->second, Channel::relay);
}

TEST_F(RequestRoadTest, RestartListensAgainAndIgnoresTheOldListener) {
    const std::uint16_t oldPort = port;
    server->restart();
    EXPECT_FALSE(*server->isRunning());
    EXPECT_FALSE(server->port()->has_value());
    ASSERT_TRUE(runMainLoopUntil([&] { return server->port()->has_value(); }));
    // Let the old listener's cancelled report arrive; it changes nothing.
    for (int turn = 0; turn < 20; ++turn) {
        mainLoop.runReady();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(*server->isRunning());
    EXPECT_TRUE(server->port()->has_value());
    EXPECT_NE(home.logText().find("Restarting server"), std::string::npos);
    EXPECT_NE(home.logText().find("Server ready on port " + std::to_string(oldPort)), std::string::npos);
    // The relay connector always learns the listener's current port.
    EXPECT_EQ(lastConfiguration(), std::nullopt);
    EXPECT_EQ(relay->configurations.size(), 3u);
}

TEST_F(RequestRoadTest, AProtectedScopeOpensWithTheTokenOfTheRightPasswordUntilItExpires) {
    pairThisClient();
    bool passwordSet = false;
    server->extraAuthorization().updatePassword(std::nullopt, "secret",
                                                [&](std::exception_ptr error) { passwordSet = !error; });
    ASSERT_TRUE(runMainLoopUntil([&] { return passwordSet; }));
    server->extraAuthorization().setScope(HalvardineExtraAuthorizationScope::files, true, Channel::local);

    const std::string status =
        R"({"id":"E-1","action":"extraAuthorizationStatus","clientProtocolVersion":22,"extraAuthorizationScope":"files")";
    const auto refused = reply(exchange({status + "}\n"}));
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_EQ(refused.extraAuthorizationScope, HalvardineExtraAuthorizationScope::files);

    const std::string authorize =
        R"({"id":"E-2","action":"authorizeExtra","extraAuthorizationScope":"files","extraAuthorizationPassword":)";
    EXPECT_EQ(reply(exchange({authorize + R"("wrong"})" "\n"})).error, "Extra authorization password is incorrect.");
    const auto granted = reply(exchange({authorize + R"("secret"})" "\n"}));
    ASSERT_TRUE(granted.extraAuthorizationToken);

    const std::string withToken = status + R"(,"extraAuthorizationToken":")" + *granted.extraAuthorizationToken + "\"}\n";
    EXPECT_TRUE(reply(exchange({withToken})).ok);
    clock.advance(3600);
    EXPECT_EQ(reply(exchange({withToken})).error, "Extra authorization required.");
}

}  // namespace
}  // namespace zentrabo::testing
