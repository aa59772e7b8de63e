#pragma once
// A device talking to the server over real TLS on loopback, on a thread of
// its own, holding the client identity of the temporary home.
#include <asio/co_spawn.hpp>
#include <asio/connect.hpp>
#include <asio/experimental/as_tuple.hpp>
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
    // The TLS session ended (close_notify or the connection's end).
    std::atomic<bool> sessionEnded{false};
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

// GCC 12 takes the frames of awaitables made here for a mismatched new and
// delete of Asio's recycling frame allocator (a false positive, gone in GCC 13).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

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
            exchange->sessionEnded = error == asio::error::eof;
            if (error) break;
            if (end == ClientEnd::afterReplyLine && std::find(buffer.begin(), buffer.begin() + count, '\n') !=
                                                        buffer.begin() + static_cast<std::ptrdiff_t>(count)) {
                break;
            }
        }
        // The session's end comes with the reply; the server closes the
        // connection itself later, which a byte read without TLS tells.
        while (end == ClientEnd::whenServerCloses) {
            auto [error] = co_await connection.socket().async_wait(asio::socket_base::wait_read,
                                                                   asio::experimental::as_tuple(asio::use_awaitable));
            std::error_code readError;
            char byte;
            connection.socket().non_blocking(true, readError);
            if (!readError) connection.socket().read_some(asio::buffer(&byte, 1), readError);
            if (error || (readError && readError != asio::error::would_block)) break;
        }
    }
    connection.close();
    exchange->finished = true;
}

#pragma GCC diagnostic pop

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
