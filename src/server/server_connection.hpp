#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include <asio/any_io_executor.hpp>
#include <asio/ip/tcp.hpp>

#include "platform/dispatch/clock.hpp"
#include "platform/net/tls_connection.hpp"

namespace zentrabo {

class ServerConnections;

// What reading a connection's one request gave: the bytes of its first line
// (without the line feed), or the reason there are none.
struct RequestLine {
    std::string bytes;
    std::optional<std::string> error;
};

// One accepted connection, from its handshake to its close. Its socket is
// touched only on the server queue; the main loop reads the endpoint and the
// fingerprint, fixed before the request is handed over, and asks for sends
// and closes, which hop to the queue.
class ServerConnection : public std::enable_shared_from_this<ServerConnection> {
public:
    // Seconds a client has to deliver its request, handshake included.
    static constexpr double initialRequestTimeout = 12.0;
    // Each read asks for at most this much.
    static constexpr std::size_t receiveChunkSize = 65536;
    // A request may carry a 25 MiB file in Base64 inside a workflow step;
    // anything longer is refused rather than buffered.
    static constexpr std::size_t maximumRequestSize = 40 * 1024 * 1024;
    // Seconds between sending the reply and closing, so it can drain.
    static constexpr double closeDelayAfterReply = 1.0;
    // A client that stops reading its reply is dropped after this long; a
    // 25 MiB file still gets through a slow mobile link within it.
    static constexpr double maximumSendDuration = 300.0;

    using RequestHandler = std::function<void(RequestLine)>;

    ServerConnection(asio::ip::tcp::socket socket, std::shared_ptr<platform::TlsContext> context,
                     platform::Clock& clock, std::weak_ptr<ServerConnections> owner);

    // On the queue: handshake and read the first line under the initial
    // timeout. The handler runs on the queue at most once, and never after
    // the timeout has closed the connection.
    void readRequest(RequestHandler handler);

    // From any thread: sends the bytes as the connection's last message and
    // closes it a moment later, at once when the send fails.
    void sendFinal(std::string bytes);
    // From any thread: closes the connection now.
    void cancel();
    // On the queue: closes the connection now.
    void closeOnQueue();

    const std::optional<asio::ip::tcp::endpoint>& remoteEndpoint() const { return remoteEndpoint_; }
    // Set by the handshake, before the request is handed over.
    const std::optional<std::string>& peerCertificateFingerprint() const {
        return tls_.peerCertificateFingerprint();
    }

private:
    asio::awaitable<void> receive(RequestHandler handler);
    asio::awaitable<void> send(std::string bytes);
    // Whether this caller is the first of the read and its timeout to finish.
    bool finishFirst();

    platform::TlsConnection tls_;
    asio::any_io_executor queue_;
    platform::Clock& clock_;
    std::weak_ptr<ServerConnections> owner_;
    std::optional<asio::ip::tcp::endpoint> remoteEndpoint_;

    std::mutex lock_;
    bool didFinish_ = false;

    platform::Timer initialRequestTimer_;
    platform::Timer closeTimer_;
};

// Every open connection of the server, so that each one lives until it is
// closed, and no longer than the server. Used on the server queue only.
class ServerConnections : public std::enable_shared_from_this<ServerConnections> {
public:
    // Connections that are open at once; more are closed as they arrive, so
    // a flood of idle clients cannot exhaust memory or descriptors.
    static constexpr std::size_t maximumOpenConnections = 64;

    // Takes the connection in; false when the limit is reached.
    bool add(const std::shared_ptr<ServerConnection>& connection);
    void remove(const ServerConnection* connection);
    // Closes every connection, at teardown.
    void closeAll();
    std::size_t size() const { return connections_.size(); }

private:
    std::unordered_map<const ServerConnection*, std::shared_ptr<ServerConnection>> connections_;
};

}  // namespace zentrabo
