#pragma once
// A server listening on loopback and a paired or unpaired device that sends
// it one request over real TLS and reads the reply line, the whole road of a
// request as a phone travels it.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "model/json/model_record_json.hpp"
#include "model/records/halvardine_request.hpp"
#include "support/device_request.hpp"
#include "model/records/halvardine_response.hpp"
#include "support/main_loop_wait.hpp"
#include "support/request_client.hpp"
#include "support/server_fixture.hpp"

namespace zentrabo::testing {

class LoopbackServerTest : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        server = makeServer();
        ASSERT_TRUE(runMainLoopUntil([&] { return server->listener().port()->has_value(); }));
        port = **server->listener().port();
    }

    // Runs the main loop until the condition holds; the bound only keeps a
    // fault from hanging the suite.
    template <typename Condition>
    bool runMainLoopUntil(Condition condition, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return testing::runMainLoopUntil(mainLoop, condition, limit);
    }

    // Advances the clock by the close delay until the server has closed the
    // client's connection. The client may hold the whole reply before the
    // server's write has completed and started the delay, so a single
    // advance can come too early; it is repeated only then.
    bool advanceUntilClosed(const RequestClient& client, double closeDelay) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            clock.advance(closeDelay);
            if (runMainLoopUntil([&] { return client.finished(); }, std::chrono::milliseconds(200))) return true;
        }
        return false;
    }

    // Sends the request as one line and returns what came back before the
    // server closed the connection.
    std::string exchangeLine(std::string line) {
        RequestClient client(port, security().clientParameters(std::nullopt), {std::move(line)});
        EXPECT_TRUE(runMainLoopUntil(
            [&] { return client.exchange().received().find('\n') != std::string::npos || client.finished(); }));
        // The server closes one second after the reply went out.
        EXPECT_TRUE(advanceUntilClosed(client, ServerConnection::closeDelayAfterReply));
        return client.exchange().received();
    }

    // The reply to the request, which must come as exactly one line.
    HalvardineResponse send(const HalvardineRequest& request) {
        const std::string line = exchangeLine(encodeRecord(request) + "\n");
        EXPECT_FALSE(line.empty()) << "no reply to " << request.action;
        EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line feed, at the end";
        return decodeRecord<HalvardineResponse>(std::string_view(line).substr(0, line.size() - 1));
    }

    // Pairs the client identity of the temporary home, which the device uses.
    void pairThisClient() {
        server->authorization().completePairing(security().loadOrCreateIdentity(false).fingerprint,
                                                std::string("Phone"), HalvardineExtraAuthorizationChannel::local);
    }

    std::shared_ptr<HalvardineServer> server;
    std::uint16_t port = 0;
};

}  // namespace zentrabo::testing
