#include "server/connection/server_connection.hpp"

#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include <asio/post.hpp>

namespace zentrabo {
namespace {

// After these a socket holds nothing more of the peer's to read.
bool endsPeerStream(const std::error_code& error) {
    return error == asio::error::eof || error == asio::error::connection_reset;
}

}  // namespace

ServerConnection::ServerConnection(asio::ip::tcp::socket socket, const asio::ip::tcp::endpoint& peer,
                                   std::shared_ptr<platform::TlsContext> context, platform::Clock& clock)
    : StreamConnection(socket.get_executor(), clock),
      tls_(std::move(socket), std::move(context)),
      remoteEndpoint_(peer) {
    asio::error_code error;
    // Every message goes out whole in one write; Nagle's algorithm would
    // only hold the reply back behind the unacknowledged session ticket
    // until the client's delayed acknowledgement.
    tls_.socket().set_option(asio::ip::tcp::no_delay(true), error);
}

platform::Timer ServerConnection::startDeadline(double seconds, std::function<void()> onExpiry,
                                                bool afterFinalMessage) {
    deadlinePassed_ = false;
    // A close rather than a cancel: an operation that starts after the
    // deadline has fired, between two steps of the road, fails at once too.
    return clock().schedule(strand(), seconds,
                            [weakSelf = weak_from_this(), onExpiry = std::move(onExpiry), afterFinalMessage] {
                                const auto self = std::static_pointer_cast<ServerConnection>(weakSelf.lock());
                                if (!self) return;
                                self->deadlinePassed_ = true;
                                if (onExpiry) onExpiry();
                                self->closeNow(afterFinalMessage);
                            });
}

asio::awaitable<RequestLine> ServerConnection::readLine(std::size_t lineLimit,
                                                        std::shared_ptr<RequestLineBudget> budget) {
    RequestLineReader reader(lineLimit, std::move(budget));
    for (;;) {
        const auto room = reader.room(receiveChunkSize);
        const auto [error, count] = co_await tls_.readSome(asio::buffer(room.data(), room.size()));
        switch (reader.commit(count)) {
        case RequestLineReader::Progress::complete:
            co_return std::move(reader.line());
        case RequestLineReader::Progress::tooLarge:
            co_return RequestLine{{}, {}, "The request is too large."};
        case RequestLineReader::Progress::reading:
            break;
        }
        peerStreamEnded_ = endsPeerStream(error);
        if (error == asio::error::eof) {
            reader.line().endedByPeer = true;
            co_return std::move(reader.line());
        }
        if (error) co_return RequestLine{{}, {}, error.message()};
    }
}

asio::awaitable<std::error_code> ServerConnection::writeFinal(const std::string& bytes,
                                                              std::function<void()> beforeWaiting) {
    return tls_.writeFinal(asio::buffer(bytes), std::move(beforeWaiting));
}

asio::awaitable<bool> ServerConnection::discardUntilPeerCloses() {
    // Most peers close without sending anything more: the first read takes
    // a few bytes, and only a peer that does send gets a record's worth.
    // Only overwritten, never read: no need to clear either.
    std::array<char, 64> firstBytes;
    std::unique_ptr<char[]> discarded;
    asio::mutable_buffer buffer(firstBytes.data(), firstBytes.size());
    for (std::size_t total = 0; total < maximumDiscardedBytesAtClose;) {
        const auto [error, count] = co_await tls_.readSome(buffer);
        if (error) {
            peerStreamEnded_ = endsPeerStream(error);
            co_return true;
        }
        total += count;
        if (!discarded) {
            discarded.reset(new char[discardChunkSize]);
            buffer = asio::mutable_buffer(discarded.get(), discardChunkSize);
        }
    }
    co_return false;
}

void ServerConnection::closeTransport(bool afterFinalMessage) {
    if (afterFinalMessage) {
        // Closing a socket that still holds unread bytes of the peer resets
        // the connection, and a reset throws away whatever of the final
        // message the peer has not received yet: read and drop those bytes
        // first, unless a read already found the peer's stream at its end.
        const int descriptor = tls_.socket().native_handle();
        std::array<char, discardChunkSize> discarded;
        for (std::size_t total = 0; !peerStreamEnded_ && total < maximumDiscardedBytesAtClose;) {
            const ssize_t count = ::recv(descriptor, discarded.data(), discarded.size(), MSG_DONTWAIT);
            if (count <= 0) break;
            total += static_cast<std::size_t>(count);
        }
        // Nothing is being written after the final message: the session
        // ends with its close_notify, so a client that checks sees a clean
        // end rather than a cut one.
        tls_.sendCloseNotify();
    }
    tls_.close();
    if (auto registry = registry_.lock()) registry->remove(this);
}

void ServerConnection::startStreaming(std::vector<std::uint8_t> bytesAfterRequestLine) {
    setBytesReadAhead(std::move(bytesAfterRequestLine));
}

void ServerConnection::closeUnheard() {
    wasClosedUnheard_ = true;
    // The socket belongs to the connection's strand.
    asio::post(strand(), [self = std::static_pointer_cast<ServerConnection>(shared_from_this())] { self->close(); });
}

ServerConnections::ServerConnections(const RequestLimits& limits)
    : pairedLineLimit_(limits.pairedLineBytes),
      lineBudget_(std::make_shared<RequestLineBudget>(limits.lineBytesInFlight)) {}

bool ServerConnections::add(const std::shared_ptr<ServerConnection>& connection) {
    // Refusing the newcomer would let strangers that stall their handshakes
    // shut paired devices out; closing the longest waiting makes them keep
    // up a flood instead.
    const std::lock_guard guard(mutex_);
    const bool madeRoom = handshakeOrder_.size() >= maximumHandshakingConnections;
    if (madeRoom) {
        const auto oldest = connections_.at(handshakeOrder_.front()).connection;
        oldest->closeUnheard();
        removeLocked(oldest.get());
    }
    connection->registry_ = weak_from_this();
    const auto slot = handshakeOrder_.insert(handshakeOrder_.end(), connection.get());
    connections_.emplace(connection.get(), Entry{connection, Stage::handshaking, slot});
    return madeRoom;
}

void ServerConnections::endHandshake(Entry& entry) { handshakeOrder_.erase(entry.handshakeSlot); }

ServerConnections::Admission ServerConnections::admitPeer(const ServerConnection* connection,
                                                          const std::optional<std::string>& fingerprint) {
    const std::lock_guard guard(mutex_);
    const auto entry = connections_.find(connection);
    // Only a connection taken in and still in its handshake is admitted.
    if (entry == connections_.end() || entry->second.stage != Stage::handshaking) return Admission::refused;
    endHandshake(entry->second);
    if (pairedFingerprints_.contains(fingerprint)) {
        entry->second.stage = Stage::uncounted;
        return Admission::paired;
    }
    if (unpaired_ >= maximumUnpairedConnections) {
        entry->second.stage = Stage::uncounted;
        return Admission::refused;
    }
    entry->second.stage = Stage::unpaired;
    ++unpaired_;
    return Admission::unpaired;
}

void ServerConnections::remove(const ServerConnection* connection) {
    const std::lock_guard guard(mutex_);
    removeLocked(connection);
}

void ServerConnections::removeLocked(const ServerConnection* connection) {
    const auto entry = connections_.find(connection);
    if (entry == connections_.end()) return;
    switch (entry->second.stage) {
    case Stage::handshaking:
        endHandshake(entry->second);
        break;
    case Stage::unpaired:
        --unpaired_;
        break;
    case Stage::uncounted:
        break;
    }
    connections_.erase(entry);
}

void ServerConnections::closeAll() {
    // Closing a connection removes it from the count, which takes the lock:
    // close the moved-out entries after letting go of it.
    decltype(connections_) connections;
    {
        const std::lock_guard guard(mutex_);
        connections = std::move(connections_);
        connections_.clear();
        handshakeOrder_.clear();
        unpaired_ = 0;
    }
    for (auto& [key, entry] : connections) entry.connection->close();
}

}  // namespace zentrabo
