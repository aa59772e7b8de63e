#pragma once

#include <cstddef>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include <asio/any_io_executor.hpp>
#include <asio/ip/tcp.hpp>

#include "platform/dispatch/clock.hpp"
#include "platform/json/json_input_buffer.hpp"
#include "platform/net/tls_connection.hpp"
#include "server/connection/paired_fingerprints.hpp"
#include "server/connection/request_limits.hpp"
#include "server/connection/request_line_budget.hpp"

namespace zentrabo {

class ServerConnections;

// What reading a connection's one request gave: the bytes of its first line
// (without the line feed), or the reason there are none.
struct RequestLine {
    platform::JsonInputBuffer bytes;
    // What the bytes take of the budget of all lines, until they go.
    RequestLineShare share;
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
    // The longest request line of a certificate that is not paired: enough
    // for "pair" and every refusal, too little to make a stranger's
    // connection costly. A paired device's is RequestLimits::pairedLineBytes.
    static constexpr std::size_t unpairedRequestLineLimit = 64 * 1024;
    // Seconds between sending the reply and closing, so it can drain.
    static constexpr double closeDelayAfterReply = 1.0;
    // What a final close reads and drops of the peer's unread bytes at most;
    // a peer that keeps sending past it gets its connection reset.
    static constexpr std::size_t maximumDiscardedBytesAtClose = 16 * 1024 * 1024;
    // Bytes dropped per read after the reply: one TLS record, so a
    // connection waiting out its close delay holds little memory.
    static constexpr std::size_t discardChunkSize = 16384;
    // A client that stops reading its reply is dropped after this long; a
    // 25 MiB file still gets through a slow mobile link within it.
    static constexpr double maximumSendDuration = 300.0;

    using RequestHandler = std::function<void(RequestLine)>;

    // The owner's limits and line budget apply to the connection.
    ServerConnection(asio::ip::tcp::socket socket, std::shared_ptr<platform::TlsContext> context,
                     platform::Clock& clock, const std::shared_ptr<ServerConnections>& owner);

    // On the queue: handshake and read the first line under the initial
    // timeout. The handler runs on the queue at most once, and never after
    // the timeout has closed the connection.
    void readRequest(RequestHandler handler);

    // From any thread: sends the bytes as the connection's last message and
    // closes it closeDelay seconds after the send completed, at once when
    // the send fails.
    void sendFinal(std::string bytes, double closeDelay);
    // From any thread: closes the connection now.
    void cancel();
    // On the queue: closes the connection now.
    void closeOnQueue();
    // On the queue: closes the connection before its request was handed
    // over; a handshake or read still under way ends unheard.
    void closeUnheard();

    const std::optional<asio::ip::tcp::endpoint>& remoteEndpoint() const { return remoteEndpoint_; }
    // Set by the handshake, before the request is handed over.
    const std::optional<std::string>& peerCertificateFingerprint() const { return tls_.peerCertificateFingerprint(); }

private:
    asio::awaitable<void> receive(RequestHandler handler);
    asio::awaitable<void> send(std::string bytes, double closeDelay);
    // Whether this caller is the first of the read and its timeout to finish.
    bool finishFirst();
    // On the queue, once the final message has gone out: closes without
    // resetting the connection, so the peer receives everything sent.
    void closeAfterFinalSend();

    platform::TlsConnection tls_;
    asio::any_io_executor queue_;
    platform::Clock& clock_;
    std::weak_ptr<ServerConnections> owner_;
    std::size_t pairedLineLimit_;
    std::shared_ptr<RequestLineBudget> lineBudget_;
    std::optional<asio::ip::tcp::endpoint> remoteEndpoint_;

    std::mutex lock_;
    bool didFinish_ = false;
    // Set on the queue when the end of the peer's stream ended its request.
    bool peerHasHungUp_ = false;

    platform::Timer initialRequestTimer_;
    platform::Timer closeTimer_;
};

// Every open connection of the server, so that each one lives until it is
// closed, and no longer than the server. Used on the server queue only,
// except the paired fingerprints, which the main loop keeps current.
//
// Strangers are bounded twice: connections still in their handshake, and
// connections whose certificate is not paired. A paired device is known only
// once its handshake is done, so the unpaired bound is applied after the
// handshake, and a newcomer beyond the handshake bound takes the place of the
// connection that has been in its handshake longest instead of being refused:
// however many strangers hold connections open, a paired device still gets
// through, and is never refused for being one too many.
class ServerConnections : public std::enable_shared_from_this<ServerConnections> {
public:
    // Connections in their handshake at once; beyond it the longest waiting
    // is closed. A handshake of a device nearby takes milliseconds, and lasts
    // at most the initial 12 s.
    static constexpr std::size_t maximumHandshakingConnections = 128;
    // Connections of certificates that are not paired at once; a further one
    // is closed right after its handshake, before its request is read.
    static constexpr std::size_t maximumUnpairedConnections = 128;

    enum class Admission { paired, unpaired, refused };

    explicit ServerConnections(const RequestLimits& limits);

    std::size_t pairedLineLimit() const { return pairedLineLimit_; }
    // Shared by the lines of every connection.
    const std::shared_ptr<RequestLineBudget>& lineBudget() const { return lineBudget_; }

    // Takes a newly accepted connection in, as one in its handshake. When
    // too many are in their handshake, the one that has waited longest is
    // closed first, unheard; true then.
    bool add(const std::shared_ptr<ServerConnection>& connection);
    // After the handshake, by the certificate the peer presented: refused
    // when it is not paired and the unpaired bound is reached.
    Admission admitPeer(const ServerConnection* connection, const std::optional<std::string>& fingerprint);
    void remove(const ServerConnection* connection);
    // Closes every connection, at teardown.
    void closeAll();

    // From any thread; the main loop calls update whenever the paired
    // devices change.
    PairedFingerprints& pairedFingerprints() { return pairedFingerprints_; }

private:
    // Paired connections, and refused ones until they are closed, count
    // against neither bound.
    enum class Stage { handshaking, unpaired, uncounted };
    using HandshakeOrder = std::list<const ServerConnection*>;
    struct Entry {
        std::shared_ptr<ServerConnection> connection;
        Stage stage = Stage::handshaking;
        // Its place in handshakeOrder_ while it is in its handshake.
        HandshakeOrder::iterator handshakeSlot;
    };

    // Leaves the handshake stage: no longer counted there.
    void endHandshake(Entry& entry);

    std::unordered_map<const ServerConnection*, Entry> connections_;
    // The connections in their handshake, longest waiting first.
    HandshakeOrder handshakeOrder_;
    std::size_t unpaired_ = 0;
    PairedFingerprints pairedFingerprints_;
    const std::size_t pairedLineLimit_;
    const std::shared_ptr<RequestLineBudget> lineBudget_;
};

}  // namespace zentrabo
