#include "relay/relay_tunnel_mux.hpp"

#include "relay/relay_error.hpp"
#include "relay/relay_tunnel.hpp"

namespace zentrabo {

RelayTunnelMux::RelayTunnelMux(const asio::any_io_executor& executor, std::optional<std::uint16_t> localServerPort)
    : executor_(executor), localServerPort_(localServerPort), readerSignal_(executor), writerSignal_(executor) {}

RelayTunnelMux::~RelayTunnelMux() { close(); }

void RelayTunnelMux::handleFrame(const RelayFrameHeader& header, std::vector<std::uint8_t> payload) {
    if (closed_) return;
    const auto found = tunnels_.find(header.tunnelID);
    switch (header.type) {
    case RelayFrameType::open: {
        if (found != tunnels_.end()) throw HalvardineRelayProtocolError::tunnelAlreadyOpen();
        if (tunnels_.size() >= relayMaximumTunnels) {
            queueClose(header.tunnelID);
            return;
        }
        auto tunnel = std::make_shared<RelayTunnel>(executor_, header.tunnelID, weak_from_this());
        tunnels_.emplace(header.tunnelID, tunnel);
        tunnel->start(localServerPort_);
        return;
    }
    case RelayFrameType::data:
        // Data for a tunnel we already ended crossed our close frame: drop it.
        if (found != tunnels_.end()) found->second->deliver(std::move(payload));
        return;
    case RelayFrameType::close:
        if (found != tunnels_.end()) {
            auto tunnel = found->second;
            tunnels_.erase(found);
            dropQueuedData(*tunnel);
            tunnel->end(false);
        }
        return;
    }
}

bool RelayTunnelMux::acceptsFrames() const {
    if (pendingCloseFrames_ >= relayMaximumTunnels) return false;
    for (const auto& entry : tunnels_) {
        if (entry.second->isBacklogOverLimit()) return false;
    }
    return true;
}

asio::awaitable<void> RelayTunnelMux::waitUntilAcceptingFrames() {
    auto self = shared_from_this();
    while (!closed_ && !acceptsFrames()) co_await readerSignal_.wait();
}

asio::awaitable<std::optional<RelayOutboundFrame>> RelayTunnelMux::nextOutboundFrame() {
    auto self = shared_from_this();
    while (!closed_ && outbound_.empty()) co_await writerSignal_.wait();
    if (closed_) co_return std::nullopt;
    co_return outbound_.pop();
}

void RelayTunnelMux::outboundFrameWritten(const RelayOutboundFrame& frame) {
    if (closed_) return;
    if (frame.isClose) {
        --pendingCloseFrames_;
        readerSignal_.notify();
    } else if (auto tunnel = frame.tunnel.lock()) {
        tunnel->outboundWritten(frame.bytes.size());
    }
}

void RelayTunnelMux::close() {
    if (closed_) return;
    closed_ = true;
    auto tunnels = std::move(tunnels_);
    tunnels_.clear();
    for (auto& entry : tunnels) entry.second->end(false);
    outbound_.clear();
    pendingCloseFrames_ = 0;
    readerSignal_.notify();
    writerSignal_.notify();
}

bool RelayTunnelMux::isOpen(const RelayTunnel& tunnel) const {
    const auto found = tunnels_.find(tunnel.tunnelID());
    return !closed_ && found != tunnels_.end() && found->second.get() == &tunnel;
}

void RelayTunnelMux::sendData(const std::shared_ptr<RelayTunnel>& tunnel, std::span<const std::uint8_t> payload) {
    if (!isOpen(*tunnel)) return;
    outbound_.push({makeRelayFrame(RelayFrameType::data, tunnel->tunnelID(), payload), tunnel, false});
    writerSignal_.notify();
}

void RelayTunnelMux::tunnelEnded(const RelayTunnel& tunnel, bool notifyRelay) {
    if (!isOpen(tunnel)) return;
    tunnels_.erase(tunnel.tunnelID());
    if (notifyRelay) queueClose(tunnel.tunnelID());
    readerSignal_.notify();
}

void RelayTunnelMux::backlogDrained() { readerSignal_.notify(); }

void RelayTunnelMux::dropQueuedData(const RelayTunnel& tunnel) {
    const auto ofTunnel = [&](const RelayOutboundFrame& frame) {
        return !frame.isClose && frame.tunnel.lock().get() == &tunnel;
    };
    outbound_.eraseIf(ofTunnel);
}

void RelayTunnelMux::queueClose(const RelayTunnelID& tunnelID) {
    outbound_.push({makeRelayFrame(RelayFrameType::close, tunnelID), {}, true});
    ++pendingCloseFrames_;
    writerSignal_.notify();
}

}  // namespace zentrabo
