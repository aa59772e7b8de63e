#include "relay/relay_tunnel.hpp"

#include "relay/relay_tunnel_mux.hpp"

namespace zentrabo {

namespace {
using asio::redirect_error;
using asio::use_awaitable;
}  // namespace

RelayTunnel::RelayTunnel(const asio::any_io_executor& executor, const RelayTunnelID& tunnelID,
                         std::weak_ptr<RelayTunnelMux> mux)
    : tunnelID_(tunnelID),
      mux_(std::move(mux)),
      socket_(executor),
      backlogSignal_(executor),
      outboundSignal_(executor) {}

void RelayTunnel::start(std::optional<std::uint16_t> localServerPort) {
    if (!localServerPort) {
        end(true);
        return;
    }
    // The coroutine holds the tunnel: its socket must outlive the operations on it.
    asio::co_spawn(socket_.get_executor(), run(*localServerPort),
                   [self = shared_from_this()](std::exception_ptr failure) {
                       if (failure) self->end(true);
                   });
}

asio::awaitable<void> RelayTunnel::run(std::uint16_t localServerPort) {
    auto self = shared_from_this();
    asio::error_code error;
    co_await socket_.async_connect({asio::ip::address_v4::loopback(), localServerPort},
                                   redirect_error(use_awaitable, error));
    if (ended_) co_return;
    if (error) {
        end(true);
        co_return;
    }
    socket_.set_option(asio::ip::tcp::no_delay(true), error);
    asio::co_spawn(socket_.get_executor(), writeLocal(), [self](std::exception_ptr failure) {
        if (failure) self->end(true);
    });
    co_await readLocal();
}

asio::awaitable<void> RelayTunnel::readLocal() {
    std::vector<std::uint8_t> chunk(relayTunnelReadChunk);
    while (!ended_) {
        while (!ended_ && outboundBytes_ >= relayTunnelOutboundLimit) co_await outboundSignal_.wait();
        if (ended_) co_return;
        asio::error_code error;
        const std::size_t count =
            co_await socket_.async_read_some(asio::buffer(chunk), redirect_error(use_awaitable, error));
        if (ended_) co_return;
        if (error) {
            end(true);
            co_return;
        }
        auto mux = mux_.lock();
        if (!mux) co_return;
        outboundBytes_ += relayFrameHeaderSize + count;
        mux->sendData(shared_from_this(), std::span<const std::uint8_t>(chunk.data(), count));
    }
}

asio::awaitable<void> RelayTunnel::writeLocal() {
    auto self = shared_from_this();
    while (!ended_) {
        while (!ended_ && backlog_.empty()) co_await backlogSignal_.wait();
        if (ended_) co_return;
        asio::error_code error;
        co_await asio::async_write(socket_, asio::buffer(backlog_.front()), redirect_error(use_awaitable, error));
        if (ended_) co_return;
        if (error) {
            end(true);
            co_return;
        }
        const bool wasOverLimit = isBacklogOverLimit();
        backlog_.pop();
        if (wasOverLimit && !isBacklogOverLimit()) {
            if (auto mux = mux_.lock()) mux->backlogDrained();
        }
    }
}

void RelayTunnel::deliver(std::vector<std::uint8_t> payload) {
    if (ended_ || payload.empty()) return;
    backlog_.push(std::move(payload));
    backlogSignal_.notify();
}

void RelayTunnel::outboundWritten(std::size_t frameBytes) {
    outboundBytes_ -= std::min(outboundBytes_, frameBytes);
    if (outboundBytes_ < relayTunnelOutboundLimit) outboundSignal_.notify();
}

void RelayTunnel::end(bool notifyRelay) {
    if (ended_) return;
    ended_ = true;
    asio::error_code ignored;
    socket_.close(ignored);
    backlogSignal_.notify();
    outboundSignal_.notify();
    const bool wasOverLimit = isBacklogOverLimit();
    backlog_.clear();
    if (auto mux = mux_.lock()) {
        mux->tunnelEnded(*this, notifyRelay);
        if (wasOverLimit) mux->backlogDrained();
    }
}

}  // namespace zentrabo
