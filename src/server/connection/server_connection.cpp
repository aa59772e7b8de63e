#include "server/connection/server_connection.hpp"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include <asio/co_spawn.hpp>
#include <asio/post.hpp>

#include "model/diagnostic_log.hpp"

namespace zentrabo {
namespace {

// The completion of a connection's coroutine: its operations report their
// own errors, so an exception here is a fault worth a log line.
auto logFailure(const char* prefix) {
    return [prefix](std::exception_ptr failure) {
        if (!failure) return;
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            ZENTRABO_LOG(std::string(prefix) + error.what());
        }
    };
}

}  // namespace

ServerConnection::ServerConnection(asio::ip::tcp::socket socket, std::shared_ptr<platform::TlsContext> context,
                                   platform::Clock& clock, const std::shared_ptr<ServerConnections>& owner)
    : tls_(std::move(socket), std::move(context)),
      queue_(tls_.executor()),
      clock_(clock),
      owner_(owner),
      pairedLineLimit_(owner->pairedLineLimit()),
      lineBudget_(owner->lineBudget()) {
    asio::error_code error;
    const auto endpoint = tls_.socket().remote_endpoint(error);
    if (!error) remoteEndpoint_ = endpoint;
}

void ServerConnection::readRequest(RequestHandler handler) {
    std::weak_ptr<ServerConnection> weakSelf = weak_from_this();
    initialRequestTimer_ = clock_.schedule(queue_, initialRequestTimeout, [weakSelf] {
        auto self = weakSelf.lock();
        if (!self || !self->finishFirst()) return;
        ZENTRABO_LOG("Connection closed before the initial request was received");
        self->closeOnQueue();
    });
    asio::co_spawn(queue_, receive(std::move(handler)), logFailure("Request read failed: "));
}

asio::awaitable<void> ServerConnection::receive(RequestHandler handler) {
    auto self = shared_from_this();
    auto complete = [&](RequestLine line) {
        if (!finishFirst()) return;
        initialRequestTimer_.cancel();
        handler(std::move(line));
    };

    if (const std::error_code error = co_await tls_.handshake()) {
        // No TLS session came up, so nothing can be answered over it: the
        // connection goes at once, and with it its place among those in
        // their handshake.
        if (!finishFirst()) co_return;
        ZENTRABO_LOG("Request failed before processing: The TLS handshake failed: " + error.message());
        closeOnQueue();
        co_return;
    }
    // The certificate tells a paired device from a stranger, and with it how
    // long the line may grow.
    auto admission = ServerConnections::Admission::unpaired;
    if (auto owner = owner_.lock()) admission = owner->admitPeer(this, tls_.peerCertificateFingerprint());
    if (admission == ServerConnections::Admission::refused) {
        if (!finishFirst()) co_return;
        ZENTRABO_LOG("Connection refused: too many connections from unpaired clients");
        closeOnQueue();
        co_return;
    }
    const std::size_t lineLimit =
        admission == ServerConnections::Admission::paired ? pairedLineLimit_ : unpairedRequestLineLimit;

    const auto tooLarge = [] { return RequestLine{{}, {}, "The request is too large."}; };
    RequestLine line{{}, RequestLineShare(lineBudget_), std::nullopt};
    for (;;) {
        // One byte past the cap tells that the line is too long.
        const auto room = line.bytes.room(std::min(receiveChunkSize, lineLimit + 1 - line.bytes.size()));
        const auto [error, count] = co_await tls_.readSome(asio::buffer(room.data(), room.size()));
        if (!line.share.grow(count)) {
            complete(tooLarge());
            co_return;
        }
        const std::size_t searchFrom = line.bytes.size();
        line.bytes.commit(count);
        // Only the new bytes can hold the first line feed.
        const std::size_t lineEnd = line.bytes.text().find('\n', searchFrom);
        if (lineEnd != std::string_view::npos) {
            line.bytes.truncate(lineEnd);
            complete(std::move(line));
            co_return;
        }
        if (line.bytes.size() > lineLimit) {
            complete(tooLarge());
            co_return;
        }
        if (error == asio::error::eof) {
            peerHasHungUp_ = true;
            complete(std::move(line));
            co_return;
        }
        if (error) {
            complete({{}, {}, error.message()});
            co_return;
        }
    }
}

bool ServerConnection::finishFirst() {
    std::lock_guard guard(lock_);
    if (didFinish_) return false;
    didFinish_ = true;
    return true;
}

void ServerConnection::sendFinal(std::string bytes, double closeDelay) {
    asio::co_spawn(queue_, send(std::move(bytes), closeDelay), logFailure("Response send failed: "));
}

asio::awaitable<void> ServerConnection::send(std::string bytes, double closeDelay) {
    auto self = shared_from_this();
    std::weak_ptr<ServerConnection> weakSelf = self;
    // Closing ends the pending write with an error, reported below.
    closeTimer_ = clock_.schedule(queue_, maximumSendDuration, [weakSelf] {
        if (auto connection = weakSelf.lock()) connection->closeOnQueue();
    });
    if (const std::error_code error = co_await tls_.writeAll(asio::buffer(bytes))) {
        ZENTRABO_LOG("Response send failed: " + error.message());
        closeOnQueue();
        co_return;
    }
    // A peer that ended its request by hanging up waits for nothing more,
    // and a read past the end of its stream would only wait for the delay.
    if (peerHasHungUp_) {
        closeAfterFinalSend();
        co_return;
    }
    // Counted from the completed send, so the message has left before the close.
    closeTimer_ = clock_.schedule(queue_, closeDelay, [weakSelf] {
        if (auto connection = weakSelf.lock()) connection->closeAfterFinalSend();
    });
    // A peer that closes its side has read what it wanted: its connection
    // goes at once instead of holding a socket until the delay ends. What it
    // sends meanwhile is read and dropped, up to the same bound as at the close.
    std::vector<char> discarded(discardChunkSize);
    for (std::size_t total = 0; total < maximumDiscardedBytesAtClose;) {
        const auto [error, count] = co_await tls_.readSome(asio::buffer(discarded));
        if (error == asio::error::operation_aborted) co_return;  // closed by the delay
        if (error) {
            closeOnQueue();
            co_return;
        }
        total += count;
    }
}

void ServerConnection::closeAfterFinalSend() {
    // Closing a socket that still holds unread bytes of the peer resets the
    // connection, and a reset throws away whatever of the final message the
    // peer has not received yet: read and drop those bytes first.
    auto& socket = tls_.socket();
    std::array<char, discardChunkSize> discarded;
    std::size_t total = 0;
    std::error_code error;
    while (total < maximumDiscardedBytesAtClose) {
        const std::size_t available = socket.available(error);
        if (error || available == 0) break;
        const std::size_t count = socket.receive(asio::buffer(discarded), 0, error);
        if (error || count == 0) break;
        total += count;
    }
    closeOnQueue();
}

void ServerConnection::cancel() {
    asio::post(queue_, [self = shared_from_this()] { self->closeOnQueue(); });
}

void ServerConnection::closeUnheard() {
    // Whatever the handshake or read still reports is dropped.
    finishFirst();
    closeOnQueue();
}

void ServerConnection::closeOnQueue() {
    initialRequestTimer_.cancel();
    closeTimer_.cancel();
    tls_.close();
    if (auto owner = owner_.lock()) owner->remove(this);
}

ServerConnections::ServerConnections(const RequestLimits& limits)
    : pairedLineLimit_(limits.pairedLineBytes),
      lineBudget_(std::make_shared<RequestLineBudget>(limits.lineBytesInFlight)) {}

bool ServerConnections::add(const std::shared_ptr<ServerConnection>& connection) {
    // Refusing the newcomer would let strangers that stall their handshakes
    // shut paired devices out; closing the longest waiting makes them keep
    // up a flood instead.
    const bool madeRoom = handshakeOrder_.size() >= maximumHandshakingConnections;
    if (madeRoom) {
        // Held here: closing removes it from the map and the order.
        const auto oldest = connections_.at(handshakeOrder_.front()).connection;
        oldest->closeUnheard();
    }
    const auto slot = handshakeOrder_.insert(handshakeOrder_.end(), connection.get());
    connections_.emplace(connection.get(), Entry{connection, Stage::handshaking, slot});
    return madeRoom;
}

void ServerConnections::endHandshake(Entry& entry) { handshakeOrder_.erase(entry.handshakeSlot); }

ServerConnections::Admission ServerConnections::admitPeer(const ServerConnection* connection,
                                                          const std::optional<std::string>& fingerprint) {
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
    // Closing removes each connection from the map, so work on a copy.
    auto connections = std::move(connections_);
    connections_.clear();
    handshakeOrder_.clear();
    unpaired_ = 0;
    for (auto& [key, entry] : connections) entry.connection->closeOnQueue();
}

}  // namespace zentrabo
