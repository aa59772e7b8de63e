#include <fcntl.h>
#include <sys/socket.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <optional>

#include <asio/connect.hpp>
#include <asio/ssl.hpp>
#include <asio/write.hpp>

#include "platform/random/uuid.hpp"
#include "request_road_fixture.hpp"

namespace zentrabo::testing {
namespace {

TEST_F(RequestRoadTest, PairedClientGetsItsReplyAndTheConnectionCloses) {
    pairThisClient();
    // The session's clean end comes with the reply; the connection closes
    // after the delay.
    auto client = connect({R"({"id":"A-1","action":"ping"})"
                           "\n"});
    const auto response = reply(receiveUntilClosed(
        *client, [&](const std::string&) { return client->exchange().sessionEnded.load(); },
        ServerConnection::closeDelayAfterReply));
    EXPECT_TRUE(response.ok);
    EXPECT_EQ(response.id, "A-1");
    EXPECT_EQ(response.port, port);
    EXPECT_EQ(response.serverCertificateFingerprint, *server->listener().serverCertificateFingerprint());
    EXPECT_NE(home.logText().find("Processing request: ping"), std::string::npos);
    EXPECT_EQ(server->authorization().activeClientConnectionChannels()->begin()->second, Channel::local);
}

TEST_F(RequestRoadTest, ASettledDevicesPingIsAnsweredWithoutTheMainLoopUntilTheDeviceIsRevoked) {
    pairThisClient();
    const std::string ping = R"({"id":"A-9","action":"ping"})"
                             "\n";
    // The first authorization is the main loop's own.
    ASSERT_TRUE(reply(exchange({ping})).ok);
    const auto lastSeen = [&] { return server->authorization().pairedDevices()->front().lastSeenAt; };
    const auto answeredStandingStill = [&] {
        auto client = connect({ping});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (client->exchange().received().find('\n') == std::string::npos) {
            EXPECT_LT(std::chrono::steady_clock::now(), deadline) << "no answer without the main loop";
            if (std::chrono::steady_clock::now() > deadline) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        EXPECT_TRUE(reply(client->exchange().received()).ok);
        return client;
    };

    // Answered while the main loop stands still; the use is recorded as soon
    // as it runs again.
    auto seen = lastSeen();
    clock.advance(5);
    auto first = answeredStandingStill();
    EXPECT_EQ(lastSeen(), seen);
    EXPECT_TRUE(runMainLoopUntil([&] { return lastSeen() > seen; }));

    // A use right after a record waits a moment for the next.
    seen = lastSeen();
    auto second = answeredStandingStill();
    EXPECT_FALSE(runMainLoopUntil([&] { return lastSeen() > seen; }, std::chrono::milliseconds(100)));
    clock.advance(5);
    EXPECT_TRUE(runMainLoopUntil([&] { return lastSeen() > seen; }));
    EXPECT_TRUE(advanceUntilClosed(*first, ServerConnection::closeDelayAfterReply));
    EXPECT_TRUE(advanceUntilClosed(*second, ServerConnection::closeDelayAfterReply));
    EXPECT_EQ(logCount("Processing request: ping"), 3u);

    server->authorization().revokePairedDevice(security().loadOrCreateIdentity(false).fingerprint);
    EXPECT_EQ(reply(exchange({ping})).error, "Not authorized.");
}

TEST_F(RequestRoadTest, RequestSplitIntoPiecesIsReassembledAndTrailingBytesIgnored) {
    pairThisClient();
    const auto response = reply(exchange({R"({"id":"A-2",)", R"("action":)",
                                          R"("ping"})"
                                          "\n",
                                          R"({"id":"next"})"
                                          "\n"}));
    EXPECT_TRUE(response.ok);
    EXPECT_EQ(response.id, "A-2");
}

TEST_F(RequestRoadTest, UnpairedAndUnknownRequestsAreRefused) {
    const auto refused = reply(exchange({R"({"id":"A-3","action":"ping"})"
                                         "\n"}));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.error, "Not authorized.");
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::notAuthorized);

    // Action names are exact: an unknown one is answered before authorization.
    const auto unknown = reply(exchange({R"({"id":"A-4","action":"PING"})"
                                         "\n"}));
    EXPECT_EQ(unknown.error, "Unknown action.");
    EXPECT_FALSE(unknown.errorCode.has_value());

    const auto tooOld = reply(exchange({R"({"id":"A-5","action":"pair","clientProtocolVersion":0})"
                                        "\n"}));
    EXPECT_EQ(tooOld.errorCode, HalvardineErrorCode::actionFailed);

    // The action is the peer's text: escaped and cut short in the log.
    const std::string action = R"(evil\nline)" + std::string(300, 'x');
    EXPECT_EQ(reply(exchange({R"({"id":"A-6","action":")" + action + "\"}\n"})).error, "Unknown action.");
    EXPECT_EQ(logCount("Processing request: evil\\nline" + std::string(191, 'x') + "…\n"), 1u);
    EXPECT_EQ(logCount("evil\nline"), 0u);
}

TEST_F(RequestRoadTest, AClientWithoutACertificateFailsTheHandshakeAndGetsNoReply) {
    pairThisClient();
    asio::io_context io;
    asio::ssl::context context(asio::ssl::context::tls_client);
    context.set_verify_mode(asio::ssl::verify_none);
    asio::ssl::stream<asio::ip::tcp::socket> stream(io, context);
    std::error_code error;
    std::size_t received = 0;
    std::atomic<bool> finished{false};
    std::thread client([&] {
        stream.lowest_layer().connect({asio::ip::make_address("127.0.0.1"), port}, error);
        // In TLS 1.3 the client hears of the refusal only when it reads.
        if (!error) stream.handshake(asio::ssl::stream_base::client, error);
        const std::string request = R"({"id":"N-1","action":"ping"})"
                                    "\n";
        if (!error) asio::write(stream, asio::buffer(request), error);
        char buffer[256];
        if (!error) received = stream.read_some(asio::buffer(buffer), error);
        finished = true;
    });
    const bool ended = runMainLoopUntil([&] { return finished.load(); });
    if (!ended) stream.lowest_layer().close();
    client.join();
    ASSERT_TRUE(ended) << "the server kept the connection open";
    EXPECT_TRUE(error);
    EXPECT_EQ(received, 0u);
    EXPECT_TRUE(
        runMainLoopUntil([&] { return logCount("Request failed before processing: The TLS handshake failed") == 1; }));
    EXPECT_EQ(logCount("Processing request: "), 0u);
}

TEST_F(RequestRoadTest, AClientThatHangsUpAfterItsReplyIsLetGoWithoutTheCloseDelay) {
    pairThisClient();
    asio::io_context io;
    std::string received;
    std::error_code endOfStream;
    std::atomic<bool> finished{false};
    auto client = [&]() -> asio::awaitable<void> {
        asio::ip::tcp::socket socket(io);
        std::error_code error;
        socket.connect({asio::ip::make_address("127.0.0.1"), port}, error);
        platform::TlsConnection connection(std::move(socket), security().clientParameters(std::nullopt));
        if (!error) error = co_await connection.handshake();
        const std::string request = R"({"id":"H-1","action":"ping"})"
                                    "\n";
        if (!error) error = co_await connection.writeAll(asio::buffer(request));
        std::vector<char> buffer(4096);
        while (!error && received.find('\n') == std::string::npos) {
            auto [readError, count] = co_await connection.readSome(asio::buffer(buffer));
            received.append(buffer.data(), count);
            error = readError;
        }
        // Hangs up its side, then waits for the server's end.
        connection.socket().shutdown(asio::ip::tcp::socket::shutdown_send, error);
        while (!endOfStream) {
            auto [readError, count] = co_await connection.readSome(asio::buffer(buffer));
            endOfStream = readError;
        }
        connection.close();
        finished = true;
    };
    asio::co_spawn(io, client(), asio::detached);
    std::thread thread([&] { io.run_for(std::chrono::seconds(20)); });
    // The manual clock never reaches the one-second close.
    const bool ended = runMainLoopUntil([&] { return finished.load(); });
    io.stop();
    thread.join();
    ASSERT_TRUE(ended) << "the server held the connection for its close delay";
    EXPECT_TRUE(reply(received).ok);
}

TEST_F(RequestRoadTest, ARequestEndedByTheStreamIsTakenWhole) {
    pairThisClient();
    asio::io_context io;
    auto unterminated = std::make_shared<ClientExchange>();
    auto empty = std::make_shared<ClientExchange>();
    const auto context = security().clientParameters(std::nullopt);
    asio::co_spawn(io, sendAndHangUp(port, context, {R"({"id":"E-1",)", R"("action":"ping"})"}, unterminated),
                   asio::detached);
    asio::co_spawn(io, sendAndHangUp(port, context, {}, empty), asio::detached);
    std::thread thread([&] { io.run_for(std::chrono::seconds(20)); });
    // Both have hung up already: each goes once its reply is out, without
    // the close delay, which the manual clock never reaches.
    EXPECT_TRUE(runMainLoopUntil([&] { return unterminated->finished && empty->finished; }));
    io.stop();
    thread.join();

    const auto processed = reply(unterminated->received());
    EXPECT_TRUE(processed.ok) << processed.error.value_or("");
    EXPECT_EQ(processed.id, "E-1");
    // Nothing at all is a request that cannot be read.
    const auto refused = reply(empty->received());
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(platform::Uuid::parse(refused.id), platform::Uuid{refused.id});
    EXPECT_FALSE(refused.errorCode.has_value());
}

TEST_F(RequestRoadTest, UnreadableRequestGetsAFailureUnderAFreshID) {
    const auto response = reply(exchange({R"({"action":"ping"})"
                                          "\n"}));
    EXPECT_FALSE(response.ok);
    EXPECT_TRUE(platform::Uuid::parse(response.id) == platform::Uuid{response.id}) << response.id;
    EXPECT_TRUE(response.error.has_value());
    EXPECT_FALSE(response.errorCode.has_value());
    EXPECT_EQ(response.serverProtocolVersion, 22);
    EXPECT_NE(home.logText().find("Request failed before processing: "), std::string::npos);
}

TEST_F(RequestRoadTest, ClientsThatDoNotDeliverARequestWithinTwelveSecondsAreDisconnected) {
    pairThisClient();
    // One stalls halfway through its line, one sends nothing at all.
    const std::size_t timersBefore = clock.pendingCount();
    auto partial = connect({R"({"id":"A-6","act)"});
    auto silent = connect({});
    ASSERT_TRUE(runMainLoopUntil([&] { return clock.pendingCount() >= timersBefore + 2; }));

    clock.advance(ServerConnection::initialRequestTimeout - 0.1);
    // A whole exchange later the two are still open.
    auto ping = connect({R"({"id":"A-7","action":"ping"})"
                         "\n"});
    ASSERT_TRUE(runMainLoopUntil([&] { return ping->exchange().received().find('\n') != std::string::npos; }));
    EXPECT_FALSE(partial->finished());
    EXPECT_FALSE(silent->finished());

    clock.advance(0.1);
    ASSERT_TRUE(runMainLoopUntil([&] { return partial->finished() && silent->finished(); }));
    EXPECT_EQ(partial->exchange().received(), "");
    EXPECT_EQ(silent->exchange().received(), "");
    EXPECT_EQ(logCount("Connection closed before the initial request was received"), 2u);
}

TEST_F(RequestRoadTest, RequestLinesAreCappedLowForStrangersAndHighForPairedDevices) {
    const std::size_t unpairedLimit = ServerConnection::unpairedRequestLineLimit;
    EXPECT_EQ(reply(exchange(connectStranger({paddedPing(unpairedLimit) + "\n"}))).error, "Not authorized.");

    const auto tooLarge = reply(exchange(connectStranger({paddedPing(unpairedLimit + 1) + "\n"})));
    EXPECT_EQ(tooLarge.error, "The request is too large.");
    EXPECT_EQ(platform::Uuid::parse(tooLarge.id), platform::Uuid{tooLarge.id});
    EXPECT_FALSE(tooLarge.errorCode.has_value());
    EXPECT_EQ(tooLarge.port, port);

    // The cap holds for a line that never ends, too.
    auto endless = connectStranger({std::string(unpairedLimit + 1, ' ')});
    EXPECT_EQ(reply(exchange(std::move(endless))).error, "The request is too large.");

    pairThisClient();
    const auto large = reply(exchange({paddedPing(3 * 1024 * 1024) + "\n"}));
    EXPECT_TRUE(large.ok) << large.error.value_or("");
    EXPECT_EQ(large.id, "L-1");
}

TEST_F(RequestRoadTest, AListenerOutOfDescriptorsRestsAndThenAcceptsAgain) {
    pairThisClient();
    asio::io_context io;
    asio::ip::tcp::socket waiting(io);
    waiting.open(asio::ip::tcp::v4());
    const std::size_t timersBefore = clock.pendingCount();

    // Every descriptor number below a lowered limit taken: the next accept
    // finds none.
    int highest = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit lowered = original;
    lowered.rlim_cur = static_cast<rlim_t>(highest) + 16;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    std::vector<int> fillers;
    for (int descriptor; (descriptor = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;) fillers.push_back(descriptor);
    waiting.connect({asio::ip::make_address("127.0.0.1"), port});

    // The failed accept rests on the clock instead of failing the listener.
    const bool rested = runMainLoopUntil([&] { return clock.pendingCount() > timersBefore; });
    for (const int descriptor : fillers) ::close(descriptor);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &original), 0);
    ASSERT_TRUE(rested);
    for (int turn = 0; turn < 20; ++turn) mainLoop.runReady();
    EXPECT_TRUE(*server->listener().isRunning());

    clock.advance(ServerListener::acceptRetryDelay);
    ASSERT_TRUE(runMainLoopUntil([&] { return logCount("Accepted connection") == 1; }));
    EXPECT_TRUE(reply(exchange({R"({"id":"F-1","action":"ping"})"
                                "\n"}))
                    .ok);
}

// A child process that some library starts must not inherit a client's
// connection: it would keep the connection open after the server closed it.
TEST_F(RequestRoadTest, AnAcceptedConnectionIsClosedOnExec) {
    asio::io_context io;
    asio::ip::tcp::socket client(io);
    client.connect({asio::ip::make_address("127.0.0.1"), port});
    ASSERT_TRUE(runMainLoopUntil([&] { return logCount("Accepted connection") == 1; }));

    // The server's end is the socket in this process whose peer is the client.
    const auto clientEnd = client.local_endpoint();
    std::optional<int> serverEnd;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int descriptor = std::stoi(entry.path().filename().string());
        sockaddr_storage peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0) continue;
        asio::ip::tcp::endpoint endpoint;
        std::memcpy(endpoint.data(), &peer, std::min<std::size_t>(length, endpoint.capacity()));
        endpoint.resize(std::min<std::size_t>(length, endpoint.capacity()));
        const auto address = endpoint.address();
        const bool mapped = address.is_v6() && address.to_v6().is_v4_mapped();
        const auto peerAddress =
            mapped ? asio::ip::address(asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6())) : address;
        if (endpoint.port() == clientEnd.port() && peerAddress == clientEnd.address()) serverEnd = descriptor;
    }
    ASSERT_TRUE(serverEnd);
    EXPECT_NE(::fcntl(*serverEnd, F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(RequestRoadTest, LoopbackClientCountsAsRelayOnlyWhileTheRelayIsConnected) {
    pairThisClient();
    server->relay().updateRelayHost("relay.example.com");
    server->relay().setRelayEnabled(true);
    relay->stateHandler(HalvardineRelayConnectionState::connecting, std::nullopt);
    exchange({R"({"id":"A-7","action":"ping"})"
              "\n"});
    EXPECT_EQ(server->authorization().activeClientConnectionChannels()->begin()->second, Channel::local);

    relay->stateHandler(HalvardineRelayConnectionState::connected, std::nullopt);
    exchange({R"({"id":"A-8","action":"ping"})"
              "\n"});
    // The device is settled now: its ping is answered on the network thread
    // and its use recorded at the main loop's next visit, which may come
    // after the reply.
    EXPECT_TRUE(runMainLoopUntil(
        [&] { return server->authorization().activeClientConnectionChannels()->begin()->second == Channel::relay; }));
}

TEST_F(RequestRoadTest, RestartListensAgainAndIgnoresTheOldListener) {
    const std::uint16_t oldPort = port;
    server->pairing().startPairingSession();
    ASSERT_TRUE(*server->pairing().isPairingActive());
    server->restart();
    EXPECT_FALSE(*server->listener().isRunning());
    EXPECT_FALSE(server->listener().port()->has_value());
    EXPECT_FALSE(*server->pairing().isPairingActive());
    EXPECT_EQ(logCount("Server restarted\n"), 1u);
    ASSERT_TRUE(runMainLoopUntil([&] { return server->listener().port()->has_value(); }));
    // A window opened on the new listener outlives the old one's report.
    server->pairing().startPairingSession();
    // Let the old listener's cancelled report arrive; it changes nothing.
    for (int turn = 0; turn < 20; ++turn) {
        mainLoop.runReady();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(*server->listener().isRunning());
    EXPECT_TRUE(server->listener().port()->has_value());
    EXPECT_TRUE(*server->pairing().isPairingActive());
    EXPECT_EQ(logCount("Pairing session cancelled because the server stopped"), 0u);
    EXPECT_NE(home.logText().find("Restarting server"), std::string::npos);
    EXPECT_NE(home.logText().find("Server ready on port " + std::to_string(oldPort)), std::string::npos);
    // The relay connector always learns the listener's current port.
    EXPECT_EQ(lastConfiguration(), std::nullopt);
    EXPECT_EQ(relay->configurations.size(), 3u);
}

TEST_F(RequestRoadTest, AProtectedScopeOpensWithTheTokenOfTheRightPasswordUntilItExpires) {
    pairThisClient();
    ASSERT_TRUE(protectLocalScope(HalvardineExtraAuthorizationScope::files, "secret"));

    const std::string status =
        R"({"id":"E-1","action":"extraAuthorizationStatus","clientProtocolVersion":22,"extraAuthorizationScope":"files")";
    const auto refused = reply(exchange({status + "}\n"}));
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
    EXPECT_EQ(refused.extraAuthorizationScope, HalvardineExtraAuthorizationScope::files);

    const std::string authorize =
        R"({"id":"E-2","action":"authorizeExtra","extraAuthorizationScope":"files","extraAuthorizationPassword":)";
    EXPECT_EQ(reply(exchange({authorize + R"("wrong"})"
                                          "\n"}))
                  .error,
              "Extra authorization password is incorrect.");
    const auto granted = reply(exchange({authorize + R"("secret"})"
                                                     "\n"}));
    ASSERT_TRUE(granted.extraAuthorizationToken);

    const std::string withToken =
        status + R"(,"extraAuthorizationToken":")" + *granted.extraAuthorizationToken + "\"}\n";
    EXPECT_TRUE(reply(exchange({withToken})).ok);
    clock.advance(3600);
    EXPECT_EQ(reply(exchange({withToken})).error, "Extra authorization required.");
}

}  // namespace
}  // namespace zentrabo::testing
