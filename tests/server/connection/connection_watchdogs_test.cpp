// The request deadline and the send bound race the work of a connection on
// the manual clock: whichever finishes first wins, and the loser's timer is
// cancelled.
#include <atomic>
#include <filesystem>
#include <fstream>

#include <asio/connect.hpp>

#include "model/json/model_record_json.hpp"
#include "request_road_fixture.hpp"

namespace zentrabo::testing {
namespace {

namespace fs = std::filesystem;

// A device that sends its request and then reads nothing, holding the
// connection until the server ends it.
class SilentReader {
public:
    SilentReader(std::uint16_t port, std::shared_ptr<platform::TlsContext> context, std::string request) {
        asio::co_spawn(
            io_,
            [this, port, context, request]() -> asio::awaitable<void> {
                asio::ip::tcp::socket socket(io_);
                std::error_code error;
                socket.connect({asio::ip::make_address("127.0.0.1"), port}, error);
                connection_.emplace(std::move(socket), context);
                if (!error) error = co_await connection_->handshake();
                if (!error) error = co_await connection_->writeAll(asio::buffer(request));
                sent = !error;
            },
            asio::detached);
        thread_ = std::thread([this] { io_.run_for(std::chrono::seconds(30)); });
    }
    ~SilentReader() {
        io_.stop();
        thread_.join();
    }
    // Bytes of the reply waiting unread.
    std::size_t waiting() {
        std::error_code error;
        return connection_ ? connection_->socket().available(error) : 0;
    }

    std::atomic<bool> sent{false};

private:
    asio::io_context io_;
    std::optional<platform::TlsConnection> connection_;
    std::thread thread_;
};

TEST_F(RequestRoadTest, TheWatchdogsRaceTheWorkOfAConnection) {
    pairThisClient();
    // A reply far larger than both sockets' buffers.
    const fs::path large = home.path() / "large.bin";
    std::ofstream(large, std::ios::binary) << std::string(20 * 1024 * 1024, 'x');
    auto fileRequest = deviceRequest("W-3", "fileResource");
    fileRequest.filePath = large.string();
    const std::size_t timersBefore = clock.pendingCount();

    struct Case {
        const char* what;
        std::function<void()> run;
        const char* logged;
    };
    const std::vector<Case> cases = {
        {"the deadline wins over a line that never comes",
         [&] {
             auto client = connect({R"({"id":"W-1","act)"});
             ASSERT_TRUE(runMainLoopUntil([&] { return clock.pendingCount() == timersBefore + 1; }));
             clock.advance(ServerConnection::initialRequestTimeout);
             ASSERT_TRUE(runMainLoopUntil([&] { return client->finished(); }));
             EXPECT_EQ(client->exchange().received(), "");
         },
         "Connection closed before the initial request was received"},
        {"the line wins: answered and let go without the clock",
         [&] {
             asio::io_context io;
             auto exchange = std::make_shared<ClientExchange>();
             asio::co_spawn(io,
                            sendAndHangUp(port, security().clientParameters(std::nullopt),
                                          {R"({"id":"W-2","action":"Ping"})"}, exchange),
                            asio::detached);
             std::thread thread([&] { io.run_for(std::chrono::seconds(20)); });
             EXPECT_TRUE(runMainLoopUntil([&] { return exchange->finished.load(); }));
             io.stop();
             thread.join();
             EXPECT_EQ(reply(exchange->received()).error, "Unknown action.");
         },
         "Processing request: Ping"},
        {"the send bound ends a client that stops reading",
         [&] {
             SilentReader client(port, security().clientParameters(std::nullopt), encodeRecord(fileRequest) + "\n");
             // The reply is being written once more than the session ticket
             // waits unread; the bound may start a moment after the write.
             ASSERT_TRUE(runMainLoopUntil([&] { return client.waiting() > 65536; }));
             for (int attempt = 0; attempt < 100 && logCount("Response send failed: ") == 0; ++attempt) {
                 clock.advance(ServerConnection::maximumSendDuration);
                 runMainLoopUntil([&] { return logCount("Response send failed: ") == 1; },
                                  std::chrono::milliseconds(100));
             }
         },
         "Response send failed: Connection timed out"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.what);
        test.run();
        EXPECT_EQ(logCount(test.logged), 1u);
        // The loser's timer went with the race.
        EXPECT_TRUE(runMainLoopUntil([&] { return clock.pendingCount() == timersBefore; }));
    }
}

}  // namespace
}  // namespace zentrabo::testing
