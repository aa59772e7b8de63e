#include "server/server_connection.hpp"

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

ServerConnection::ServerConnection(asio::ip::tcp::socket socket,
                                   std::shared_ptr<platform::TlsContext> context,
                                   platform::Clock& clock, std::weak_ptr<ServerConnections> owner)
    : tls_(std::move(socket), std::move(context)),
      queue_(tls_.executor()),
      clock_(clock),
      owner_(std::move(owner)) {
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
        complete({{}, "The TLS handshake failed: " + error.message()});
        co_return;
    }
    std::string buffer;
    std::vector<char> chunk(receiveChunkSize);
    for (;;) {
        const auto [error, count] = co_await tls_.readSome(asio::buffer(chunk));
        const std::size_t searchFrom = buffer.size();
        buffer.append(chunk.data(), count);
        // Only the new bytes can hold the first line feed.
        const std::size_t lineEnd = buffer.find('\n', searchFrom);
        if (lineEnd != std::string::npos) {
            buffer.resize(lineEnd);
            complete({std::move(buffer), std::nullopt});
            co_return;
        }
        if (error == asio::error::eof) {
            complete({std::move(buffer), std::nullopt});
            co_return;
        }
        if (error) {
            complete({{}, error.message()});
            co_return;
        }
        if (buffer.size() > maximumRequestSize) {
            complete({{}, "The request is too large."});
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

void ServerConnection::sendFinal(std::string bytes) {
    asio::co_spawn(queue_, send(std::move(bytes)), logFailure("Response send failed: "));
}

asio::awaitable<void> ServerConnection::send(std::string bytes) {
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
    closeTimer_ = clock_.schedule(queue_, closeDelayAfterReply, [weakSelf] {
        if (auto connection = weakSelf.lock()) connection->closeOnQueue();
    });
}

void ServerConnection::cancel() {
    asio::post(queue_, [self = shared_from_this()] { self->closeOnQueue(); });
}

void ServerConnection::closeOnQueue() {
    initialRequestTimer_.cancel();
    closeTimer_.cancel();
    tls_.close();
    if (auto owner = owner_.lock()) owner->remove(this);
}

bool ServerConnections::add(const std::shared_ptr<ServerConnection>& connection) {
    if (connections_.size() >= maximumOpenConnections) return false;
    connections_.emplace(connection.get(), connection);
    return true;
}

void ServerConnections::remove(const ServerConnection* connection) { connections_.erase(connection); }

void ServerConnections::closeAll() {
    // Closing removes each connection from the map, so work on a copy.
    auto connections = std::move(connections_);
    connections_.clear();
    for (auto& [key, connection] : connections) connection->closeOnQueue();
}

}  // namespace zentrabo
