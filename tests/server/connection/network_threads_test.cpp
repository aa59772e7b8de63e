// Admission and teardown while connections run on several network threads at
// once, over real TLS: the bounds are counted in one place whichever thread a
// connection runs on.
#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "request_road_fixture.hpp"

namespace zentrabo::testing {
namespace {

constexpr const char* displaced = "Connection closed to make room: too many connections in their handshake";
constexpr const char* unpairedRefused = "Connection refused: too many connections from unpaired clients";
constexpr const char* timedOut = "Connection closed before the initial request was received";
constexpr const char* tooLarge = "The request is too large.";

class NetworkThreadsTest : public RequestRoadTest {
protected:
    // Several threads whatever the machine: they share its cores.
    static constexpr std::size_t threads = 4;
    // A line that arrives in one TLS record, so it is counted in at once.
    static constexpr std::size_t largeLine = 8 * 1024;
    // Room for three large lines with their line feeds, not for four.
    static constexpr std::size_t sharedCap = 3 * (largeLine + 1) + 100;

    void SetUp() override {
        networkThreadCount = threads;
        requestLimits.lineBytesInFlight = sharedCap;
        RequestRoadTest::SetUp();
    }

    // A server of its own for each case, with this home's device paired.
    void startFreshServer() {
        server.reset();
        server = makeServer();
        ASSERT_TRUE(runMainLoopUntil([&] { return server->listener().port()->has_value(); }));
        port = **server->listener().port();
        pairThisClient();
    }

    // Plain TCP clients that never start TLS, so they stay in their
    // handshake; connected one after another, so the first waited longest.
    void connectStalled(std::size_t count) {
        for (std::size_t index = 0; index < count; ++index) {
            stalled.emplace_back(io).connect({asio::ip::make_address("127.0.0.1"), port});
            stalled.back().non_blocking(true);
        }
    }
    static bool isClosed(asio::ip::tcp::socket& socket) {
        char byte;
        std::error_code error;
        socket.read_some(asio::buffer(&byte, 1), error);
        return error == asio::error::eof || error == asio::error::connection_reset;
    }
    std::size_t finishedCount(const std::vector<std::unique_ptr<RequestClient>>& clients) const {
        std::size_t finished = 0;
        for (const auto& client : clients) finished += client->finished() ? 1 : 0;
        return finished;
    }
    // Waits until the log holds the text exactly `count` times more than it
    // did at `before`.
    bool logReaches(const char* text, std::size_t before, std::size_t count) {
        return runMainLoopUntil([&] { return logCount(text) >= before + count; }) && logCount(text) == before + count;
    }

    asio::io_context io;
    std::vector<asio::ip::tcp::socket> stalled;
};

TEST_F(NetworkThreadsTest, AdmissionAndTeardownHoldAcrossThreads) {
    const std::size_t handshakeBound = ServerConnections::maximumHandshakingConnections;
    const std::size_t unpairedBound = ServerConnections::maximumUnpairedConnections;
    const auto ping = [](const char* id) { return std::string(R"({"id":")") + id + R"(","action":"ping"})" + "\n"; };

    struct Case {
        const char* what;
        std::function<void()> run;
    };
    const std::vector<Case> cases = {
        {"strangers at once: both bounds hold exactly, and the longest waiting gives way",
         [&] {
             const std::size_t displacedBefore = logCount(displaced);
             const std::size_t failedBefore = logCount("Request failed before processing: ");
             const std::size_t acceptedBefore = logCount("Accepted connection");
             const std::size_t timersBefore = clock.pendingCount();
             connectStalled(handshakeBound);
             ASSERT_TRUE(logReaches("Accepted connection", acceptedBefore, handshakeBound));
             EXPECT_EQ(logCount(displaced), displacedBefore);
             connectStalled(1);
             ASSERT_TRUE(logReaches(displaced, displacedBefore, 1));
             EXPECT_TRUE(runMainLoopUntil([&] { return isClosed(stalled.front()); }));
             for (std::size_t index = 1; index < stalled.size(); ++index) {
                 EXPECT_FALSE(isClosed(stalled[index])) << index;
             }
             // Closed unheard: neither a reply nor a failure of its own.
             EXPECT_EQ(logCount("Request failed before processing: "), failedBefore);

             // The stalled ones time out; then strangers that finish their
             // handshakes meet the unpaired bound.
             // A connection's deadline starts on its own thread after it was
             // accepted, and the displaced one gives its own up on its
             // thread too: the count of waiting timers can match while one
             // held deadline is still to start, so the clock is advanced
             // again until every held connection has timed out.
             ASSERT_TRUE(runMainLoopUntil([&] { return clock.pendingCount() == timersBefore + handshakeBound; }));
             const std::size_t timedOutBefore = logCount(timedOut);
             bool allTimedOut = false;
             for (int attempt = 0; attempt < 100 && !allTimedOut; ++attempt) {
                 clock.advance(ServerConnection::initialRequestTimeout);
                 allTimedOut = runMainLoopUntil([&] { return logCount(timedOut) >= timedOutBefore + handshakeBound; },
                                                std::chrono::milliseconds(200));
             }
             ASSERT_TRUE(allTimedOut);
             EXPECT_EQ(logCount(timedOut), timedOutBefore + handshakeBound);
             const std::size_t refusedBefore = logCount(unpairedRefused);
             std::vector<std::unique_ptr<RequestClient>> strangers;
             for (std::size_t index = 0; index <= unpairedBound; ++index) {
                 strangers.push_back(connectStranger({R"({"id":)"}));
             }
             ASSERT_TRUE(logReaches(unpairedRefused, refusedBefore, 1));
             ASSERT_TRUE(runMainLoopUntil([&] { return finishedCount(strangers) == 1; }));
             for (const auto& client : strangers) {
                 if (client->finished()) {
                     EXPECT_EQ(client->exchange().received(), "");
                 }
             }
             // Once the held ones time out, strangers are heard again.
             clock.advance(ServerConnection::initialRequestTimeout);
             ASSERT_TRUE(runMainLoopUntil([&] { return finishedCount(strangers) == strangers.size(); }));
             EXPECT_EQ(reply(exchange(connectStranger({ping("A-1")}))).error, "Not authorized.");
             EXPECT_EQ(logCount(unpairedRefused), refusedBefore + 1);
         }},
        {"paired devices get through while strangers fill both bounds",
         [&] {
             // Answered and waiting out their close delay, which the
             // clock does not reach: admitted, and counted, until then.
             std::vector<std::unique_ptr<RequestClient>> strangers;
             for (std::size_t index = 0; index < unpairedBound; ++index)
                 strangers.push_back(connectStranger({ping("S")}));
             ASSERT_TRUE(runMainLoopUntil([&] {
                 for (const auto& client : strangers) {
                     if (client->exchange().received().find('\n') == std::string::npos) return false;
                 }
                 return true;
             }));
             const std::size_t acceptedBefore = logCount("Accepted connection");
             connectStalled(handshakeBound);
             ASSERT_TRUE(logReaches("Accepted connection", acceptedBefore, handshakeBound));
             const std::size_t refusedBefore = logCount(unpairedRefused);
             std::vector<std::unique_ptr<RequestClient>> devices;
             for (const char* id : {"B-1", "B-2", "B-3", "B-4"}) devices.push_back(connect({ping(id)}));
             // A stranger beside them finds the unpaired bound full.
             auto lateStranger = connectStranger({ping("S-late")});
             ASSERT_TRUE(runMainLoopUntil([&] {
                 for (const auto& device : devices) {
                     if (device->exchange().received().find('\n') == std::string::npos) return false;
                 }
                 return lateStranger->finished();
             }));
             for (const auto& device : devices) EXPECT_TRUE(reply(device->exchange().received()).ok);
             EXPECT_EQ(lateStranger->exchange().received(), "");
             EXPECT_EQ(logCount(unpairedRefused), refusedBefore + 1);
             EXPECT_EQ(finishedCount(strangers), 0u);
         }},
        {"concurrent large lines: the one whose bytes would pass the shared cap is refused",
         [&] {
             const std::size_t timersBefore = clock.pendingCount();
             const std::size_t acceptedBefore = logCount("Accepted connection");
             std::vector<std::unique_ptr<RequestClient>> devices;
             for (const char* id : {"C-1", "C-2", "C-3", "C-4"}) {
                 devices.push_back(connect({paddedPing(largeLine, id) + "\n"}));
             }
             // Every line is read, and each deadline stopped, while the main
             // loop stands still: the lines read wait there, holding their
             // bytes. A client's finished handshake means the server's
             // deadline for it has started, so a deadline not started yet
             // cannot pass for one stopped.
             const auto allHandshaken = [&] {
                 return std::all_of(devices.begin(), devices.end(),
                                    [](const auto& device) { return device->exchange().handshaken.load(); });
             };
             const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
             while (logCount("Accepted connection") < acceptedBefore + devices.size() || !allHandshaken() ||
                    clock.pendingCount() > timersBefore) {
                 ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the lines were not all read";
                 std::this_thread::sleep_for(std::chrono::milliseconds(1));
             }
             ASSERT_TRUE(runMainLoopUntil([&] {
                 for (const auto& device : devices) {
                     if (device->exchange().received().find('\n') == std::string::npos) return false;
                 }
                 return true;
             }));
             std::size_t answered = 0;
             std::size_t refused = 0;
             for (const auto& device : devices) {
                 const auto response = reply(device->exchange().received());
                 answered += response.ok ? 1 : 0;
                 refused += response.error == tooLarge ? 1 : 0;
             }
             EXPECT_EQ(answered, 3u);
             EXPECT_EQ(refused, 1u);
         }},
        {"teardown with connections in every stage closes them all, and nothing runs after it",
         [&] {
             // Answered, waiting out the close delay.
             std::vector<std::unique_ptr<RequestClient>> answered;
             for (const char* id : {"D-1", "D-2", "D-3"}) answered.push_back(connect({ping(id)}));
             ASSERT_TRUE(runMainLoopUntil([&] {
                 for (const auto& client : answered) {
                     if (client->exchange().received().find('\n') == std::string::npos) return false;
                 }
                 return true;
             }));
             const std::size_t acceptedBefore = logCount("Accepted connection");
             // In the handshake, reading a line that never ends, and
             // waiting for a main loop that does not run.
             connectStalled(2);
             std::vector<std::unique_ptr<RequestClient>> unheard;
             for (int index = 0; index < 3; ++index) unheard.push_back(connectStranger({R"({"id":)"}));
             // A ping of a settled device needs no main loop; a list of the
             // applications does.
             for (const char* id : {"D-4", "D-5"}) {
                 unheard.push_back(connect({std::string(R"({"id":")") + id + R"(","action":"applications"})" + "\n"}));
             }
             // The main loop stands still meanwhile.
             const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
             while (logCount("Accepted connection") < acceptedBefore + 2 + unheard.size()) {
                 ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the connections were not all accepted";
                 std::this_thread::sleep_for(std::chrono::milliseconds(1));
             }
             const std::size_t processedBefore = logCount("Processing request");

             server.reset();
             const std::string logAfterTeardown = home.logText();
             for (auto& socket : stalled) EXPECT_TRUE(runMainLoopUntil([&] { return isClosed(socket); }));
             EXPECT_TRUE(runMainLoopUntil([&] {
                 return finishedCount(answered) == answered.size() && finishedCount(unheard) == unheard.size();
             }));
             // Neither the main loop nor the clock brings anything back.
             clock.advance(ServerConnection::maximumSendDuration);
             for (int turn = 0; turn < 20; ++turn) mainLoop.runReady();
             EXPECT_EQ(logCount("Processing request"), processedBefore);
             EXPECT_EQ(home.logText(), logAfterTeardown);
             for (const auto& client : unheard) EXPECT_EQ(client->exchange().received(), "");
         }},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        stalled.clear();
        startFreshServer();
        test.run();
    }
}

}  // namespace
}  // namespace zentrabo::testing
