#pragma once
// The connection interface over a TLS connection, as the server's
// connection implements it, with writes that a test can hold back to play a
// peer that has stopped reading.
#include <memory>
#include <utility>
#include <vector>

#include <asio/post.hpp>

#include "platform/dispatch/coroutine_signal.hpp"
#include "platform/net/tls_connection.hpp"
#include "screenstream/stream_connection.hpp"

namespace zentrabo::testing {

class TestStreamConnection final : public StreamConnection {
public:
    TestStreamConnection(std::shared_ptr<platform::TlsConnection> tls, platform::Clock& clock,
                         std::vector<std::uint8_t> bytesReadAhead)
        : StreamConnection(tls->executor(), clock), tls_(std::move(tls)), writesReleased_(executor()) {
        setBytesReadAhead(std::move(bytesReadAhead));
    }

    // From any thread: the next writes wait until released.
    void holdWrites() {
        asio::post(executor(), [this] { writesHeld_ = true; });
    }
    void releaseWrites() {
        asio::post(executor(), [this] {
            writesHeld_ = false;
            writesReleased_.notify();
        });
    }

protected:
    asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer buffer) override {
        co_return co_await tls_->readSome(buffer);
    }
    asio::awaitable<std::error_code> writeAll(asio::const_buffer buffer) override {
        while (writesHeld_) co_await writesReleased_.wait();
        co_return co_await tls_->writeAll(buffer);
    }
    void closeTransport(bool) override {
        writesHeld_ = false;
        writesReleased_.notify();
        tls_->close();
    }

private:
    std::shared_ptr<platform::TlsConnection> tls_;
    bool writesHeld_ = false;
    platform::CoroutineSignal writesReleased_;
};

}  // namespace zentrabo::testing
