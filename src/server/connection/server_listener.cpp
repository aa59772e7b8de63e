#include "server/connection/server_listener.hpp"

#include <utility>

#include <asio/ip/v6_only.hpp>
#include <asio/post.hpp>
#include <asio/strand.hpp>

#include "model/diagnostic_log.hpp"

namespace zentrabo {
namespace {

// Errors that say the acceptor itself is unusable, not that one accept went
// wrong; retrying them would only fail again.
bool isAcceptorFault(const std::error_code& error) {
    return error == asio::error::bad_descriptor || error == asio::error::invalid_argument ||
           error == asio::error::not_socket || error == asio::error::operation_not_supported;
}

}  // namespace

ServerListener::ServerListener(NetworkExecutor networkThreads, std::optional<asio::ip::address> address,
                               platform::Clock& clock)
    : networkThreads_(networkThreads),
      strand_(asio::make_strand(networkThreads)),
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
    return error;
}

void ServerListener::acceptNext() {
    // Each connection gets a strand of its own over the network threads.
    acceptor_.async_accept(asio::make_strand(networkThreads_),
                           [self = shared_from_this()](std::error_code error, StrandSocket socket) {
                               self->accepted(error, std::move(socket));
                           });
}

void ServerListener::accepted(const std::error_code& error, StrandSocket socket) {
    if (isSilenced_) return;
    if (isCancelled_) {
        report(State::cancelled);
        return;
    }
    if (!error) {
        connectionHandler_(asio::ip::tcp::socket(std::move(socket)));
        acceptNext();
        return;
    }
    if (isAcceptorFault(error)) {
        std::error_code ignored;
        acceptor_.close(ignored);
        report(State::failed, error);
        return;
    }
    ZENTRABO_LOG("Accept failed: " + error.message());
    // A client that gave up during the accept costs only its own socket.
    if (error == asio::error::connection_aborted) {
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
