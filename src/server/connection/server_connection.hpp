#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/ip/tcp.hpp>

#include "platform/dispatch/clock.hpp"
#include "platform/net/tls_connection.hpp"
#include "screenstream/stream_connection.hpp"
#include "server/connection/paired_fingerprints.hpp"
#include "server/connection/request_limits.hpp"
#include "server/connection/request_line_budget.hpp"
#include "server/connection/request_line_reader.hpp"

namespace zentrabo {

class ServerConnections;

// One accepted connection on a strand of its own, which alone touches its
// socket: the operations the connection's road (request_road.cpp) is made
// of, and, once a "screenStream" request has taken it over, the stream
// connection its session owns. Every awaitable runs on the strand and ends
// when the connection closes.
class ServerConnection final : public StreamConnection {
public:
    // Seconds a client has to deliver its request, handshake included.
    static constexpr double initialRequestTimeout = 12.0;
    // Each read asks for at most this much: what one TLS record carries, and
    // a read gives one record's bytes. A request line that fits stays in the
    // heap block of its buffer.
    static constexpr std::size_t receiveChunkSize = platform::JsonInputBuffer::heapBlockSize;
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

    // The socket's executor is the connection's strand; peer is the
    // address it was accepted from; the clock times a stream's error frame.
    ServerConnection(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer,
                     std::shared_ptr<platform::TlsContext> context, platform::Clock& clock);

    asio::any_io_executor strand() { return executor(); }

    asio::awaitable<std::error_code> handshake() { return tls_.handshake(); }
    // Reads the first line, at most lineLimit bytes of it, each byte
    // counted against the budget of all lines.
    asio::awaitable<RequestLine> readLine(std::size_t lineLimit, std::shared_ptr<RequestLineBudget> budget);
    // The reply, with the session's close_notify right behind it;
    // beforeWaiting is called each time the send has to wait for the peer.
    asio::awaitable<std::error_code> writeFinal(const std::string& bytes, std::function<void()> beforeWaiting);
    // After the final message: reads and drops what the peer still sends,
    // up to maximumDiscardedBytesAtClose, until it closes its side. True
    // when it did (or the connection failed), false at the bound.
    asio::awaitable<bool> discardUntilPeerCloses();

    // Bounds the road's next step: once seconds have passed, onExpiry runs
    // and the connection closes (as closeAfterDraining when
    // afterFinalMessage), so the operation in flight and any after it end
    // with an error, and deadlinePassed() holds until the next deadline.
    // Dropping the handle first lifts the bound. On the strand.
    platform::Timer startDeadline(double seconds, std::function<void()> onExpiry, bool afterFinalMessage = false);
    bool deadlinePassed() const { return deadlinePassed_; }

    // Closes now; pending operations end with an error.
    void close() { closeNow(false); }
    // Closes without resetting the connection, so the peer receives
    // everything sent: the peer's unread bytes are read and dropped first.
    void closeAfterDraining() { closeNow(true); }
    // On the strand, as a stream session takes the connection over: the
    // bytes read past the request line are the first of the stream (small
    // frames already go out at once: every accepted socket has TCP_NODELAY).
    void startStreaming(std::vector<std::uint8_t> bytesAfterRequestLine);
    // From any thread: closes a connection whose request was not handed
    // over, on its strand; its handshake or read ends unheard, with nothing
    // logged. Marked at once, so the road knows before the close has run.
    void closeUnheard();
    bool wasClosedUnheard() const { return wasClosedUnheard_.load(); }

    const asio::ip::tcp::endpoint& remoteEndpoint() const { return remoteEndpoint_; }
    // Set by the handshake.
    const std::optional<std::string>& peerCertificateFingerprint() const { return tls_.peerCertificateFingerprint(); }

protected:
    asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer buffer) override {
        return tls_.readSome(buffer);
    }
    asio::awaitable<std::error_code> writeAll(asio::const_buffer buffer) override { return tls_.writeAll(buffer); }
    void closeTransport(bool afterFinalMessage) override;

private:
    friend class ServerConnections;

    platform::TlsConnection tls_;
    asio::ip::tcp::endpoint remoteEndpoint_;
    std::atomic<bool> wasClosedUnheard_{false};
    bool deadlinePassed_ = false;  // strand-only
    // Strand-only: a read found the peer's stream ended or reset, so
    // nothing of the peer's is left unread to drain before a close.
    bool peerStreamEnded_ = false;
    // Where it is counted until it closes.
    std::weak_ptr<ServerConnections> registry_;
};

// Every open connection of the server, so that each one is closed at the
// latest with the server, and admission counted in one place, under one lock:
// connections on every network thread take their turn here, and the main
// loop keeps the paired fingerprints current.
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
    // closed unheard (on its own strand) to make room; true then.
    bool add(const std::shared_ptr<ServerConnection>& connection);
    // After the handshake, by the certificate the peer presented: refused
    // when it is not paired and the unpaired bound is reached.
    Admission admitPeer(const ServerConnection* connection, const std::optional<std::string>& fingerprint);
    void remove(const ServerConnection* connection);
    // Closes every connection, at teardown, once no network thread runs:
    // their sockets are then nobody else's.
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
    void removeLocked(const ServerConnection* connection);

    // Guards every count and the map; never held across a socket operation
    // but the teardown's closes.
    std::mutex mutex_;
    std::unordered_map<const ServerConnection*, Entry> connections_;
    // The connections in their handshake, longest waiting first.
    HandshakeOrder handshakeOrder_;
    std::size_t unpaired_ = 0;
    PairedFingerprints pairedFingerprints_;
    const std::size_t pairedLineLimit_;
    const std::shared_ptr<RequestLineBudget> lineBudget_;
};

}  // namespace zentrabo
