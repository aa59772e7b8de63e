#pragma once
// The connection a stream session owns once the server has handed it over:
// the request's own TLS connection, which from then on carries frames only.
// The server's connection implements the three transport operations; this
// class keeps the order of what is sent and how the connection ends.
//
// Everything runs on the connection's strand, the session's "connection
// queue": every receive handler and every send completion is called there.
// The public operations may be called from any thread.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/buffer.hpp>

#include "platform/dispatch/clock.hpp"

namespace zentrabo {

class StreamConnection : public std::enable_shared_from_this<StreamConnection> {
public:
    // Seconds between the error frame's completed send and the close.
    static constexpr double errorFrameCloseDelay = 0.1;
    // Seconds an error frame has to go out before the connection is closed
    // anyway: a peer that stopped reading must not keep the socket.
    static constexpr double errorFrameDeadline = 2.0;

    // content is valid during the call only. isComplete: the peer ended its
    // stream; content that came with the end is passed too.
    using ReceiveHandler =
        std::function<void(std::span<const std::uint8_t> content, bool isComplete, std::error_code error)>;
    // Called once per message, with the write's error; asio's
    // operation_aborted for a message that was never written.
    using SendCompletion = std::function<void(std::error_code error)>;

    StreamConnection(asio::any_io_executor strand, platform::Clock& clock);
    virtual ~StreamConnection() = default;
    StreamConnection(const StreamConnection&) = delete;
    StreamConnection& operator=(const StreamConnection&) = delete;

    // The connection queue.
    const asio::any_io_executor& executor() const { return strand_; }

    // One receive of at least one and at most maximumLength bytes.
    void receive(std::size_t maximumLength, ReceiveHandler handler);
    // Queues one message. Messages go out whole, in the order they were
    // queued, one write at a time. Once the connection has closed, the
    // completion runs at once, on the caller's thread.
    void send(std::vector<std::uint8_t> message, SendCompletion completion);
    // Closes now; pending receives and writes end with an error. While an
    // error frame is on its way, it keeps its own close (below).
    void cancel();
    // Ends the stream with one error frame carrying the message: the
    // messages not yet being written are dropped, the write in flight
    // finishes, the frame follows, and the connection closes
    // errorFrameCloseDelay after it has gone out, errorFrameDeadline after
    // this call at the latest. Nothing is sent after it; a second call does
    // nothing.
    void sendScreenStreamError(std::string_view message);

    // The bytes the request line's read took past its line feed: the first
    // bytes of the stream. Handed out once.
    std::vector<std::uint8_t> takeBytesReadAhead();

protected:
    // The transport, used on the strand only. readSome reports the end of
    // the peer's stream as asio::error::eof.
    virtual asio::awaitable<std::tuple<std::error_code, std::size_t>> readSome(asio::mutable_buffer buffer) = 0;
    virtual asio::awaitable<std::error_code> writeAll(asio::const_buffer buffer) = 0;
    // Closes the socket at once; pending operations end with an error.
    // afterFinalMessage: the peer must still receive what was written last
    // (a close over unread bytes would reset the connection and lose it).
    virtual void closeTransport(bool afterFinalMessage) = 0;

    // On the strand: closes now, as cancel() does.
    void closeNow(bool afterFinalMessage = false);
    platform::Clock& clock() const { return clock_; }
    // For the implementation, before the session takes the connection.
    void setBytesReadAhead(std::vector<std::uint8_t> bytes) { bytesReadAhead_ = std::move(bytes); }

private:
    enum class State { open, ending, closed };
    struct Message {
        std::vector<std::uint8_t> bytes;
        SendCompletion completion;
    };

    // On the strand.
    asio::awaitable<void> receiveOnce(std::size_t maximumLength, ReceiveHandler handler);
    asio::awaitable<void> drainQueue();
    void startDraining();
    void dropQueued();

    asio::any_io_executor strand_;
    platform::Clock& clock_;
    // Set on the strand when the connection closes; read anywhere, so that
    // nothing is posted to a strand whose connection is gone (at teardown
    // the strand's context goes with it).
    std::atomic<bool> isClosed_{false};
    // Strand-only state.
    State state_ = State::open;
    std::deque<Message> queue_;
    bool isWriting_ = false;
    platform::Timer closeTimer_;
    platform::Timer deadlineTimer_;
    std::vector<std::uint8_t> bytesReadAhead_;
};

}  // namespace zentrabo
