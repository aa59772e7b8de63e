#include "server/server_listener.hpp"

#include <utility>

#include <asio/co_spawn.hpp>
#include <asio/detached.hpp>
#include <asio/experimental/as_tuple.hpp>
#include <asio/post.hpp>
#include <asio/ip/v6_only.hpp>
#include <asio/use_awaitable.hpp>

namespace zentrabo {

ServerListener::ServerListener(asio::any_io_executor queue, std::optional<asio::ip::address> address)
    : queue_(queue), address_(std::move(address)), acceptor_(queue) {}

void ServerListener::start(StateHandler stateHandler, ConnectionHandler connectionHandler) {
    // run() reports every outcome itself and throws nothing.
    asio::co_spawn(queue_, run(std::move(stateHandler), std::move(connectionHandler)), asio::detached);
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

asio::awaitable<void> ServerListener::run(StateHandler stateHandler, ConnectionHandler connectionHandler) {
    auto self = shared_from_this();
    if (isCancelled_) co_return;
    if (open()) {
        stateHandler(State::failed, std::nullopt);
        co_return;
    }
    std::error_code ignored;
    stateHandler(State::ready, acceptor_.local_endpoint(ignored).port());
    for (;;) {
        auto [error, socket] =
            co_await acceptor_.async_accept(asio::experimental::as_tuple(asio::use_awaitable));
        if (isSilenced_) co_return;
        if (isCancelled_) {
            stateHandler(State::cancelled, std::nullopt);
            co_return;
        }
        // A client that gave up during the accept costs only its own socket.
        if (error == asio::error::connection_aborted) continue;
        if (error) {
            acceptor_.close(ignored);
            stateHandler(State::failed, std::nullopt);
            co_return;
        }
        connectionHandler(std::move(socket));
    }
}

void ServerListener::cancel() {
    asio::post(queue_, [self = shared_from_this()] {
        self->isCancelled_ = true;
        std::error_code ignored;
        self->acceptor_.close(ignored);
    });
}

void ServerListener::closeSilently() {
    isSilenced_ = true;
    isCancelled_ = true;
    std::error_code ignored;
    acceptor_.close(ignored);
}

}  // namespace zentrabo
