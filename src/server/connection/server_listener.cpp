#include "server/connection/server_listener.hpp"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>

#include "model/diagnostic_log.hpp"

namespace zentrabo {
namespace {

// Errors that say the acceptor itself is unusable, not that one accept went
// wrong; retrying them would only fail again. Accept errors are told apart
// by number rather than by comparing error codes: they come when the process
// may be out of descriptors, and a sanitized build's type check of a
// category object met for the first time then fails for want of one.
bool isAcceptorFault(const std::error_code& error) {
    if (&error.category() != &asio::error::get_system_category()) return false;
    switch (error.value()) {
    case EBADF:
    case EINVAL:
    case ENOTSOCK:
    case EOPNOTSUPP:
        return true;
    default:
        return false;
    }
}

}  // namespace

ServerListener::ServerListener(std::vector<NetworkExecutor> networkThreads, std::optional<asio::ip::address> address,
                               platform::Clock& clock)
    : networkThreads_(std::move(networkThreads)),
      strand_(asio::make_strand(networkThreads_.at(0))),
      address_(std::move(address)),
      clock_(clock),
      acceptor_(strand_) {}

void ServerListener::start(StateHandler stateHandler, ConnectionHandler connectionHandler) {
    asio::post(strand_, [self = shared_from_this(), stateHandler = std::move(stateHandler),
                         connectionHandler = std::move(connectionHandler)]() mutable {
        self->stateHandler_ = std::move(stateHandler);
        self->connectionHandler_ = std::move(connectionHandler);
        if (self->isCancelled_) return;
        if (const auto error = self->open()) {
            std::error_code ignored;
            self->acceptor_.close(ignored);
            self->report(State::failed, error);
            return;
        }
        std::error_code ignored;
        self->stateHandler_(State::ready, self->acceptor_.local_endpoint(ignored).port(), {});
        self->acceptNext();
    });
}

std::error_code ServerListener::open() {
    std::error_code error;
    if (address_) {
        const asio::ip::tcp::endpoint endpoint(*address_, 0);
        acceptor_.open(endpoint.protocol(), error);
        if (!error) acceptor_.bind(endpoint, error);
        if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
        if (!error) acceptor_.non_blocking(true, error);
        return error;
    }
    // One dual-stack socket where IPv6 exists; IPv4 alone otherwise.
    acceptor_.open(asio::ip::tcp::v6(), error);
    if (!error) {
        acceptor_.set_option(asio::ip::v6_only(false), error);
        if (!error) acceptor_.bind({asio::ip::address_v6::any(), 0}, error);
        if (error) acceptor_.close();
    }
    if (!acceptor_.is_open()) {
        error.clear();
        acceptor_.open(asio::ip::tcp::v4(), error);
        if (!error) acceptor_.bind({asio::ip::address_v4::any(), 0}, error);
    }
    if (!error) acceptor_.listen(asio::socket_base::max_listen_connections, error);
    // Accepting takes connections until none is waiting.
    if (!error) acceptor_.non_blocking(true, error);
    return error;
}

void ServerListener::acceptNext() {
    acceptor_.async_wait(asio::socket_base::wait_read,
                         [self = shared_from_this()](std::error_code error) { self->acceptWaiting(error); });
}

void ServerListener::acceptWaiting(const std::error_code& waitError) {
    if (isSilenced_) return;
    if (isCancelled_) {
        report(State::cancelled);
        return;
    }
    if (waitError) return acceptFailed(waitError);
    // Taken here rather than through Asio's accept: the socket is closed on
    // exec from the start, so no child process that some library starts can
    // keep a connection open after we closed it, and the peer's address
    // comes with it instead of from a look-up per connection.
    for (std::size_t taken = 0; taken < acceptBatch; ++taken) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        const int descriptor =
            ::accept4(acceptor_.native_handle(), reinterpret_cast<sockaddr*>(&peer), &peerLength, SOCK_CLOEXEC);
        if (descriptor < 0) {
            const int failure = errno;
            if (failure == EAGAIN || failure == EWOULDBLOCK) return acceptNext();
            if (failure == EINTR) continue;
            return acceptFailed(std::error_code(failure, asio::error::get_system_category()));
        }
        asio::ip::tcp::endpoint endpoint;
        std::memcpy(endpoint.data(), &peer, std::min<std::size_t>(peerLength, sizeof peer));
        endpoint.resize(std::min<std::size_t>(peerLength, endpoint.capacity()));
        // Each connection gets a strand of its own on one network thread.
        asio::ip::tcp::socket socket(asio::make_strand(networkThreads_[nextThread_]));
        nextThread_ = (nextThread_ + 1) % networkThreads_.size();
        std::error_code error;
        socket.assign(endpoint.protocol(), descriptor, error);
        if (error) {
            ::close(descriptor);
            ZENTRABO_LOG("Accept failed: " + error.message());
            continue;
        }
        connectionHandler_(std::move(socket), endpoint);
    }
    // More may be waiting: the listener's strand lets others run first.
    asio::post(strand_, [self = shared_from_this()] { self->acceptWaiting({}); });
}

void ServerListener::acceptFailed(const std::error_code& error) {
    if (isAcceptorFault(error)) {
        std::error_code ignored;
        acceptor_.close(ignored);
        report(State::failed, error);
        return;
    }
    ZENTRABO_LOG("Accept failed: " + error.message());
    // A client that gave up during the accept costs only its own socket.
    if (&error.category() == &asio::error::get_system_category() && error.value() == ECONNABORTED) {
        acceptNext();
        return;
    }
    isResting_ = true;
    std::weak_ptr<ServerListener> weakSelf = weak_from_this();
    retryTimer_ = clock_.schedule(strand_, acceptRetryDelay, [weakSelf] {
        auto self = weakSelf.lock();
        if (!self || !self->isResting_) return;
        self->isResting_ = false;
        self->acceptNext();
    });
}

void ServerListener::report(State state, std::error_code error) {
    if (hasReportedEnd_) return;
    hasReportedEnd_ = true;
    stateHandler_(state, std::nullopt, error);
}

void ServerListener::cancel() {
    asio::post(strand_, [self = shared_from_this()] {
        if (self->isCancelled_) return;
        self->isCancelled_ = true;
        std::error_code ignored;
        self->acceptor_.close(ignored);
        // No accept is pending to report the cancellation.
        if (self->isResting_ && !self->isSilenced_) {
            self->isResting_ = false;
            self->retryTimer_.cancel();
            self->report(State::cancelled);
        }
    });
}

void ServerListener::closeSilently() {
    isSilenced_ = true;
    isCancelled_ = true;
    isResting_ = false;
    retryTimer_.cancel();
    std::error_code ignored;
    acceptor_.close(ignored);
}

}  // namespace zentrabo
