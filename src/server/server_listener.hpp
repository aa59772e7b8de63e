#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

namespace zentrabo {

// The server's TCP acceptor on a port the system chooses, on the server
// queue. It reports "ready" once it listens, then "failed" or "cancelled"
// once, and hands every accepted socket on; handlers run on the queue.
class ServerListener : public std::enable_shared_from_this<ServerListener> {
public:
    enum class State { ready, failed, cancelled };
    using StateHandler = std::function<void(State, std::optional<std::uint16_t> port)>;
    using ConnectionHandler = std::function<void(asio::ip::tcp::socket)>;

    // Listens on the address, or on every interface (IPv6 and IPv4 where the
    // system allows) when none is given.
    ServerListener(asio::any_io_executor queue, std::optional<asio::ip::address> address);

    void start(StateHandler stateHandler, ConnectionHandler connectionHandler);
    // From any thread: stops accepting; "cancelled" follows unless the
    // listener already failed.
    void cancel();
    // On the queue, at teardown: closes without any further report.
    void closeSilently();

private:
    asio::awaitable<void> run(StateHandler stateHandler, ConnectionHandler connectionHandler);
    std::error_code open();

    asio::any_io_executor queue_;
    std::optional<asio::ip::address> address_;
    asio::ip::tcp::acceptor acceptor_;
    bool isCancelled_ = false;
    bool isSilenced_ = false;
};

}  // namespace zentrabo
