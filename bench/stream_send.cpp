// Frame sending on a stream: 1 MiB key frames through a session pipeline's send
// over loopback TLS, the next sent when the previous send has completed,
// bytes counted at the reader; beside it, in the same run, a bare TLS write
// loop of the same bytes (asio::async_write on the same TLS connection
// type). The session's path adds the frame's encoding copy, admission and
// the hops to the connection's strand; it should keep at least 0.8 of the
// bare loop's throughput.
#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>
#include <asio/use_awaitable.hpp>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/desktop/virtual/scenario_builder.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/dispatch/main_loop.hpp"
#include "platform/dispatch/serial_queue.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "platform/net/tls_connection.hpp"
#include "screenstream/codec/remote_screen_stream_wire.hpp"
#include "screenstream/remote_screen_stream_server.hpp"
#include "screenstream/remote_screen_stream_session.hpp"
#include "bench_tls_identity.hpp"
#include "session_refusal.hpp"
#include "security/halvardine_security.hpp"
#include "support/temporary_home.hpp"

namespace {

using namespace zentrabo;

constexpr std::size_t payloadSize = 1024 * 1024;
constexpr std::size_t frameCount = 1000;
constexpr int rounds = 3;

using Identity = bench::BenchTlsIdentity;

// The connection interface over TLS, telling the sender each completed write.
class CountingConnection final : public StreamConnection {
public:
    CountingConnection(std::shared_ptr<platform::TlsConnection> tls, platform::Clock& clock)
        : StreamConnection(tls->executor(), clock), tls_(std::move(tls)) {}

    void waitForWrites(std::size_t count) {
        std::unique_lock lock(mutex_);
        written_.wait(lock, [&] { return writes_ >= count; });
    }

protected:
    asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer buffer) override {
        co_return co_await tls_->readSome(buffer);
    }
    asio::awaitable<std::error_code> writeAll(asio::const_buffer buffer) override {
        const auto error = co_await tls_->writeAll(buffer);
        {
            std::lock_guard guard(mutex_);
            ++writes_;
        }
        written_.notify_all();
        co_return error;
    }
    void closeTransport(bool) override { tls_->close(); }

private:
    std::shared_ptr<platform::TlsConnection> tls_;
    std::mutex mutex_;
    std::condition_variable written_;
    std::size_t writes_ = 0;
};

// A connected pair: the server side's TLS connection on a strand of the
// network queue, and a reader on its own thread that counts bytes until it
// has all of them.
class LoopbackPair {
public:
    LoopbackPair(platform::SerialQueue& network, const Identity& server, const Identity& client,
                 std::size_t expectedBytes)
        : acceptor_(network.executor(), {asio::ip::make_address("127.0.0.1"), 0}) {
        auto accepted = accepted_.get_future();
        asio::co_spawn(network.executor(), accept(server.context(platform::TlsRole::server)), asio::detached);
        asio::co_spawn(
            reader_, read(acceptor_.local_endpoint().port(), client.context(platform::TlsRole::client), expectedBytes),
            asio::detached);
        readerThread_ = std::thread([this] { reader_.run(); });
        serverSide = accepted.get();
    }
    ~LoopbackPair() {
        reader_.stop();
        readerThread_.join();
    }

    // Waits until the reader has every byte; the time it got the last.
    std::chrono::steady_clock::time_point waitForAll() { return done_.get_future().get(); }

    std::shared_ptr<platform::TlsConnection> serverSide;

private:
    asio::awaitable<void> accept(std::shared_ptr<platform::TlsContext> context) {
        asio::ip::tcp::socket socket(asio::make_strand(acceptor_.get_executor()));
        co_await acceptor_.async_accept(socket, asio::use_awaitable);
        socket.set_option(asio::ip::tcp::no_delay(true));
        auto tls = std::make_shared<platform::TlsConnection>(std::move(socket), std::move(context));
        co_await asio::co_spawn(tls->executor(), handshake(tls), asio::use_awaitable);
        acceptor_.close();
        accepted_.set_value(tls);
    }
    static asio::awaitable<void> handshake(std::shared_ptr<platform::TlsConnection> tls) { co_await tls->handshake(); }

    asio::awaitable<void> read(std::uint16_t port, std::shared_ptr<platform::TlsContext> context,
                               std::size_t expectedBytes) {
        asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
        socket.connect({asio::ip::make_address("127.0.0.1"), port});
        platform::TlsConnection connection(std::move(socket), context);
        co_await connection.handshake();
        std::vector<char> chunk(256 * 1024);
        std::size_t total = 0;
        while (total < expectedBytes) {
            const auto [error, count] = co_await connection.readSome(asio::buffer(chunk));
            total += count;
            if (error) break;
        }
        done_.set_value(std::chrono::steady_clock::now());
    }

    asio::ip::tcp::acceptor acceptor_;
    std::promise<std::shared_ptr<platform::TlsConnection>> accepted_;
    asio::io_context reader_;
    std::thread readerThread_;
    std::promise<std::chrono::steady_clock::time_point> done_;
};

RemoteScreenStreamFrame keyFrame() {
    RemoteScreenStreamFrame frame;
    frame.kind = RemoteScreenStreamFrameKind::video;
    frame.flags = RemoteScreenStreamFrame::keyFrameFlag;
    frame.payload.assign(payloadSize, 0x5A);
    return frame;
}

double mebibytesPerSecond(std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    return static_cast<double>(frameCount * (payloadSize + RemoteScreenStreamWire::headerLength)) / seconds /
           (1024.0 * 1024.0);
}

asio::awaitable<void> writeLoop(std::shared_ptr<platform::TlsConnection> tls, std::vector<std::uint8_t> bytes) {
    for (std::size_t index = 0; index < frameCount; ++index) co_await tls->writeAll(asio::buffer(bytes));
}

double bareWriteLoop(platform::SerialQueue& network, const Identity& server, const Identity& client) {
    const auto bytes = RemoteScreenStreamWire::encode(keyFrame());
    LoopbackPair pair(network, server, client, frameCount * bytes.size());
    const auto start = std::chrono::steady_clock::now();
    asio::co_spawn(pair.serverSide->executor(), writeLoop(pair.serverSide, bytes), asio::detached);
    return mebibytesPerSecond(pair.waitForAll() - start);
}

double sessionSendFrame(platform::SerialQueue& network, const Identity& server, const Identity& client,
                        RemoteScreenStreamServer& streamServer,
                        std::promise<std::shared_ptr<RemoteScreenStreamSession>>& started, platform::Clock& clock) {
    const auto frame = keyFrame();
    LoopbackPair pair(network, server, client, frameCount * (payloadSize + RemoteScreenStreamWire::headerLength));
    auto connection = std::make_shared<CountingConnection>(pair.serverSide, clock);
    started = {};
    auto session = started.get_future();
    asio::post(connection->executor(), [&streamServer, connection] {
        bench::exitIfRefused(streamServer.startSession({}, "bench", connection));
    });
    const auto running = session.get();
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t index = 0; index < frameCount; ++index) {
        running->pipeline().send(frame);
        connection->waitForWrites(index + 1);
    }
    const auto elapsed = pair.waitForAll() - start;
    running->stop();
    return mebibytesPerSecond(elapsed);
}

}  // namespace

int main() {
    testing::TemporaryHome home;
    platform::SystemClock clock;
    platform::MainLoop mainLoop;
    const auto desktop = platform::VirtualDesktop::create(platform::DesktopBuilder().build(), clock);
    platform::SerialQueue network("bench network");
    const Identity server;
    const Identity client;
    std::promise<std::shared_ptr<RemoteScreenStreamSession>> started;
    auto streamServer = std::make_shared<RemoteScreenStreamServer>(
        RemoteScreenStreamServer::Environment{clock, mainLoop.executor(), *desktop,
                                              [&started](RemoteScreenStreamSession& session) -> asio::awaitable<void> {
                                                  started.set_value(session.shared_from_this());
                                                  co_return;
                                              },
                                              [](std::size_t, const std::set<std::string>&) {}});

    std::printf("%zu frames of %zu bytes over loopback TLS, %d rounds\n", frameCount, payloadSize, rounds);
    for (int round = 1; round <= rounds; ++round) {
        const double bare = bareWriteLoop(network, server, client);
        const double session = sessionSendFrame(network, server, client, *streamServer, started, clock);
        std::printf("round %d: bare TLS write loop %.0f MiB/s, session sendFrame %.0f MiB/s, ratio %.2f\n", round, bare,
                    session, session / bare);
    }
    streamServer.reset();
    return 0;
}
