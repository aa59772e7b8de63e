#include "app/console_session.hpp"

#include <sys/socket.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include <asio/buffer.hpp>
#include <asio/post.hpp>

#include "app/terminal_front.hpp"
#include "model/diagnostic_log.hpp"

namespace zentrabo {

ConsoleSession::ConsoleSession(Socket socket, std::function<void()> quitServer, Ended ended)
    : socket_(std::move(socket)), quitServer_(std::move(quitServer)), ended_(std::move(ended)) {}

ConsoleSession::~ConsoleSession() = default;

void ConsoleSession::start(HalvardineServer& server, TerminalEvents& events, std::string desktop,
                           std::string attachedLine) {
    const std::weak_ptr<ConsoleSession> weak = weak_from_this();
    front_ = std::make_unique<TerminalFront>(
        server, events, std::move(desktop),
        [weak](std::string_view line) {
            if (const auto self = weak.lock()) self->write(line);
        },
        [weak] {
            if (const auto self = weak.lock()) self->endSoon("quit", self->quitServer_);
        },
        [weak] {
            if (const auto self = weak.lock()) self->endSoon("detached");
        });
    write(attachedLine);
    readMore();
}

void ConsoleSession::write(std::string_view line) {
    if (hasEnded_ || isDropped_) return;
    if (output_.size() + line.size() + 1 > maximumOutputBacklog) {
        // The console does not read: what it has not taken is dropped with it.
        isDropped_ = true;
        output_.clear();
        endSoon("more than " + std::to_string(maximumOutputBacklog) + " bytes of output not read");
        return;
    }
    output_ += line;
    output_ += '\n';
    if (!isWaitingToWrite_) sendPending();
}

void ConsoleSession::sendPending() {
    while (!output_.empty()) {
        const ssize_t sent =
            ::send(socket_.native_handle(), output_.data(), output_.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent > 0) {
            output_.erase(0, static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // At the end, what the console does not take at once is left.
            if (hasEnded_) return;
            isWaitingToWrite_ = true;
            socket_.async_wait(Socket::wait_write, [self = shared_from_this()](const std::error_code& error) {
                self->isWaitingToWrite_ = false;
                if (!error && !self->hasEnded_) self->sendPending();
            });
            return;
        }
        output_.clear();
        if (!hasEnded_) endSoon("the console went away");
        return;
    }
}

void ConsoleSession::readMore() {
    if (hasEnded_ || isEnding_ || isInputEnded_ || isReading_ || heldLines_ >= maximumHeldLines) return;
    isReading_ = true;
    socket_.async_read_some(asio::buffer(chunk_),
                            [self = shared_from_this()](const std::error_code& error, std::size_t count) {
                                self->isReading_ = false;
                                if (self->hasEnded_) return;
                                if (error) {
                                    self->isInputEnded_ = true;
                                    if (auto last = self->lines_.finish()) self->deliver(std::move(*last));
                                    self->endWhenInputDone();
                                    return;
                                }
                                self->received(count);
                            });
}

void ConsoleSession::received(std::size_t count) {
    lines_.feed(std::string_view(chunk_.data(), count), [this](BoundedLines::Line line) {
        deliver(std::move(line));
        // After "detach" or "quit" nothing more is run.
        return !isEnding_;
    });
    readMore();
}

void ConsoleSession::deliver(BoundedLines::Line line) {
    if (isEnding_ || !front_) return;
    if (!line) {
        write(ignoredLineText(maximumLineLength));
        return;
    }
    ++heldLines_;
    // Released once the front has run the line (and had its answer): then
    // the reading may go on, or the console end after its last line.
    std::shared_ptr<void> slot(nullptr, [weak = weak_from_this()](void*) {
        const auto self = weak.lock();
        if (!self) return;
        --self->heldLines_;
        asio::post(self->socket_.get_executor(), [weak] {
            if (const auto later = weak.lock()) {
                later->readMore();
                later->endWhenInputDone();
            }
        });
    });
    front_->handleLine(*line, std::move(slot));
}

void ConsoleSession::endWhenInputDone() {
    if (isInputEnded_ && heldLines_ == 0) end("end of input");
}

void ConsoleSession::endSoon(std::string why, std::function<void()> then) {
    isEnding_ = true;
    asio::post(socket_.get_executor(), [self = shared_from_this(), why = std::move(why), then = std::move(then)] {
        self->end(why);
        if (then) then();
    });
}

void ConsoleSession::end(std::string_view why) {
    if (hasEnded_) return;
    hasEnded_ = true;
    sendPending();
    ZENTRABO_LOG("Console ended: " + std::string(why));
    std::error_code ignored;
    socket_.close(ignored);
    // Its held lines go with it; their slots find the session ended.
    front_.reset();
    // Last: the owner may let this session go.
    if (auto ended = std::exchange(ended_, nullptr)) ended(*this);
}

}  // namespace zentrabo
