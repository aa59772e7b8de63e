#pragma once
// A device talking to the server over real TLS on loopback, on a thread of
// its own, holding the client identity of the temporary home.
#include <asio/co_spawn.hpp>
#include <asio/connect.hpp>
#include <asio/detached.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/net/tls_connection.hpp"

namespace zentrabo::testing {

struct ClientExchange {
    std::error_code handshakeError;  // read only once finished
    std::atomic<bool> handshaken{false};
    std::atomic<bool> finished{false};

    // Everything the server has sent so far.
    std::string received() const {
        std::lock_guard guard(mutex);
        return bytes;
    }
    void append(const char* data, std::size_t count) {
        std::lock_guard guard(mutex);
        bytes.append(data, count);
    }

    mutable std::mutex mutex;
    std::string bytes;
};

// When a device ends its exchange: once the server closes (what most tests
// look at), or as soon as the reply's line feed has arrived, closing its own
// side as a phone that has its answer does; the server then closes at once
// instead of after its close delay.
enum class ClientEnd { whenServerCloses, afterReplyLine };

inline asio::awaitable<void> runRequestClient(std::uint16_t port, std::shared_ptr<platform::TlsContext> context,
                                              std::vector<std::string> pieces, std::shared_ptr<ClientExchange> exchange,
                                              ClientEnd end = ClientEnd::whenServerCloses) {
    asio::ip::tcp::socket socket(co_await asio::this_coro::executor);
    socket.connect({asio::ip::make_address("127.0.0.1"), port}, exchange->handshakeError);
    platform::TlsConnection connection(std::move(socket), context);
    if (!exchange->handshakeError) exchange->handshakeError = co_await connection.handshake();
    if (!exchange->handshakeError) {
        exchange->handshaken = true;
        for (const auto& piece : pieces) co_await connection.writeAll(asio::buffer(piece));
        std::vector<char> buffer(4096);
        for (;;) {
            auto [error, count] = co_await connection.readSome(asio::buffer(buffer));
            exchange->append(buffer.data(), count);
            if (error) break;
            if (end == ClientEnd::afterReplyLine && std::find(buffer.begin(), buffer.begin() + count, '\n') !=
                                                        buffer.begin() + static_cast<std::ptrdiff_t>(count)) {
                break;
            }
        }
    }
    connection.close();
    exchange->finished = true;
}

// Connects, sends the pieces one write each, then reads until the server
// closes.
class RequestClient {
public:
    RequestClient(std::uint16_t port, std::shared_ptr<platform::TlsContext> context, std::vector<std::string> pieces)
        : exchange_(std::make_shared<ClientExchange>()) {
        asio::co_spawn(io_, runRequestClient(port, std::move(context), std::move(pieces), exchange_), asio::detached);
        thread_ = std::thread([this] { io_.run_for(std::chrono::seconds(30)); });
    }
    ~RequestClient() {
        io_.stop();
        thread_.join();
    }

    const ClientExchange& exchange() const { return *exchange_; }
    bool finished() const { return exchange_->finished; }

private:
    asio::io_context io_;
    std::shared_ptr<ClientExchange> exchange_;
    std::thread thread_;
};

}  // namespace zentrabo::testing
