#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <system_error>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/strand.hpp>

#include "platform/dispatch/clock.hpp"

namespace zentrabo {

// The server's TCP acceptor on a port the system chooses, on a strand of the
// network threads. It reports "ready" once it listens, then "failed" or
// "cancelled" once, and hands every accepted socket on, its executor a
// strand of its own over the same threads; handlers run on the listener's
// strand.
// Only a failed bind or listen fails it: an accept that fails (a client gone
// before it was taken, no descriptors or buffers left) is logged, and
// accepting goes on.
class ServerListener : public std::enable_shared_from_this<ServerListener> {
public:
    enum class State { ready, failed, cancelled };
    // The error says why, for "failed".
    using StateHandler = std::function<void(State, std::optional<std::uint16_t> port, std::error_code error)>;
    // The accepted socket and the peer's address, as the accept gave it.
    using ConnectionHandler = std::function<void(asio::ip::tcp::socket, asio::ip::tcp::endpoint)>;

    // Seconds accepting rests after a failed accept, so that a shortage of
    // descriptors or memory cannot spin the network threads.
    static constexpr double acceptRetryDelay = 0.1;
    // Connections taken in one turn of the listener's strand at most.
    static constexpr std::size_t acceptBatch = 16;

    // The network threads' own executor: a strand over it is small enough
    // to live inside every asio::any_io_executor that copies it, where a
    // strand over a type-erased executor is allocated anew for each
    // handler of each connection.
    using NetworkExecutor = asio::io_context::executor_type;

    // Listens on the address, or on every interface (IPv6 and IPv4 where the
    // system allows) when none is given, on the first of the network
    // threads; each accepted connection goes to the next thread in turn and
    // stays there. The clock times the rest after a failed accept.
    ServerListener(std::vector<NetworkExecutor> networkThreads, std::optional<asio::ip::address> address,
                   platform::Clock& clock);

    void start(StateHandler stateHandler, ConnectionHandler connectionHandler);
    // From any thread: stops accepting; "cancelled" follows unless the
    // listener already failed.
    void cancel();
    // At teardown, once no network thread runs: closes without any further
    // report.
    void closeSilently();

private:
    std::error_code open();
    // Waits until a connection is waiting, then takes every waiting one.
    void acceptNext();
    void acceptWaiting(const std::error_code& waitError);
    // Goes on after a failed accept: at once, later, or not at all when the
    // acceptor itself failed.
    void acceptFailed(const std::error_code& error);
    void report(State state, std::error_code error = {});

    std::vector<NetworkExecutor> networkThreads_;
    std::size_t nextThread_ = 0;
    asio::strand<NetworkExecutor> strand_;
    std::optional<asio::ip::address> address_;
    platform::Clock& clock_;
    asio::ip::tcp::acceptor acceptor_;
    StateHandler stateHandler_;
    ConnectionHandler connectionHandler_;
    // Set while accepting rests after a failed accept: no accept is pending
    // then, so a cancellation reports by itself.
    platform::Timer retryTimer_;
    bool isResting_ = false;
    bool isCancelled_ = false;
    bool isSilenced_ = false;
    bool hasReportedEnd_ = false;
};

}  // namespace zentrabo
