#include "screenstream/stream_connection.hpp"

#include <algorithm>
#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/error.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

#include "screenstream/codec/remote_screen_stream_wire.hpp"

namespace zentrabo {

StreamConnection::StreamConnection(asio::any_io_executor strand, platform::Clock& clock)
    : strand_(std::move(strand)), clock_(clock) {}

void StreamConnection::receive(std::size_t maximumLength, ReceiveHandler handler) {
    if (isClosed_) {
        handler({}, false, asio::error::operation_aborted);
        return;
    }
    // The coroutines hold the connection: a socket must outlive its operations.
    asio::co_spawn(strand_, receiveOnce(std::max<std::size_t>(maximumLength, 1), std::move(handler)), asio::detached);
}

asio::awaitable<void> StreamConnection::receiveOnce(std::size_t maximumLength, ReceiveHandler handler) {
    auto self = shared_from_this();
    // A read that finds bytes waiting completes without suspending; the
    // handler, which receives again, must not run inside receive() all the
    // same, or a peer that keeps sending would deepen the stack without end.
    co_await asio::post(strand_, asio::use_awaitable);
    if (state_ == State::closed) {
        handler({}, false, asio::error::operation_aborted);
        co_return;
    }
    std::vector<std::uint8_t> chunk(maximumLength);
    const auto [error, count] = co_await readSome(asio::buffer(chunk));
    const std::span<const std::uint8_t> content(chunk.data(), count);
    if (error == asio::error::eof) {
        handler(content, true, {});
    } else {
        handler(content, false, error);
    }
}

void StreamConnection::send(std::vector<std::uint8_t> message, SendCompletion completion) {
    if (isClosed_) {
        completion(asio::error::operation_aborted);
        return;
    }
    asio::post(strand_,
               [self = shared_from_this(), message = std::move(message), completion = std::move(completion)]() mutable {
                   if (self->state_ != State::open) {
                       completion(asio::error::operation_aborted);
                       return;
                   }
                   self->queue_.push_back({std::move(message), std::move(completion)});
                   self->startDraining();
               });
}

void StreamConnection::startDraining() {
    if (isWriting_ || queue_.empty()) return;
    isWriting_ = true;
    asio::co_spawn(strand_, drainQueue(), asio::detached);
}

asio::awaitable<void> StreamConnection::drainQueue() {
    auto self = shared_from_this();
    while (!queue_.empty() && state_ != State::closed) {
        Message message = std::move(queue_.front());
        queue_.pop_front();
        const std::error_code error = co_await writeAll(asio::buffer(message.bytes));
        message.completion(error);
    }
    isWriting_ = false;
    // A write error leaves the socket unusable; what is still queued was
    // never written.
    dropQueued();
}

void StreamConnection::dropQueued() {
    auto dropped = std::move(queue_);
    queue_.clear();
    for (auto& message : dropped) message.completion(asio::error::operation_aborted);
}

void StreamConnection::cancel() {
    if (isClosed_) return;
    asio::post(strand_, [self = shared_from_this()] {
        if (self->state_ == State::open) self->closeNow();
    });
}

void StreamConnection::sendScreenStreamError(std::string_view message) {
    if (isClosed_) return;
    asio::post(strand_, [self = shared_from_this(), frame = encodedScreenStreamErrorFrame(message)]() mutable {
        if (self->state_ != State::open) return;
        self->state_ = State::ending;
        self->dropQueued();
        // The timers hold the connection until they close it: its owner
        // may let go of it as soon as the frame is queued.
        self->deadlineTimer_ = self->clock_.schedule(self->strand_, errorFrameDeadline, [self] { self->closeNow(); });
        std::weak_ptr<StreamConnection> weakSelf = self;
        // With or without an error: the frame has gone as far as it will.
        self->queue_.push_back({std::move(frame), [weakSelf](std::error_code) {
                                    auto connection = weakSelf.lock();
                                    if (!connection || connection->state_ == State::closed) return;
                                    connection->closeTimer_ =
                                        connection->clock_.schedule(connection->strand_, errorFrameCloseDelay,
                                                                    [connection] { connection->closeNow(true); });
                                }});
        self->startDraining();
    });
}

void StreamConnection::closeNow(bool afterFinalMessage) {
    if (state_ == State::closed) return;
    // The timers may hold the last references.
    auto self = shared_from_this();
    state_ = State::closed;
    isClosed_ = true;
    closeTimer_.cancel();
    deadlineTimer_.cancel();
    closeTransport(afterFinalMessage);
    dropQueued();
}

std::vector<std::uint8_t> StreamConnection::takeBytesReadAhead() { return std::exchange(bytesReadAhead_, {}); }

}  // namespace zentrabo
