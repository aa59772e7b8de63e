#pragma once

#include <asio.hpp>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/dispatch/coroutine_signal.hpp"
#include "relay/byte_counted_queue.hpp"
#include "relay/relay_frame.hpp"

namespace zentrabo {

class RelayTunnel;

// Tunnels open at once through one control connection; an open beyond it is
// refused with a close frame. Each tunnel is one client request or stream.
inline constexpr std::size_t relayMaximumTunnels = 64;

// A frame waiting for the control connection's writer.
struct RelayOutboundFrame {
    std::vector<std::uint8_t> bytes;
    std::weak_ptr<RelayTunnel> tunnel;  // a data frame's tunnel, whose outbound budget it uses
    bool isClose = false;
};

inline std::size_t sizeOfFrame(const RelayOutboundFrame& frame) { return frame.bytes.size(); }

// The tunnels of one control connection: turns the relay's frames into
// loopback connections and their bytes back into frames. It owns no socket of
// the control connection; the control session reads frames into it and writes
// the frames it queues.
//
// Memory stays bounded: the control session stops reading frames while any
// tunnel's backlog is over its limit or while as many close frames wait as
// there can be tunnels, and each tunnel stops reading its local socket while
// its queued data frames are over their limit. Data frames of a tunnel the
// relay closed leave the queue with it.
class RelayTunnelMux : public std::enable_shared_from_this<RelayTunnelMux> {
public:
    RelayTunnelMux(const asio::any_io_executor& executor, std::optional<std::uint16_t> localServerPort);
    ~RelayTunnelMux();

    // Throws HalvardineRelayProtocolError when the relay opens a tunnel twice.
    void handleFrame(const RelayFrameHeader& header, std::vector<std::uint8_t> payload);

    // Completes when the next frame may be read (at once in the usual case).
    asio::awaitable<void> waitUntilAcceptingFrames();
    bool acceptsFrames() const;

    // The next frame to write, or none once the mux is closed.
    asio::awaitable<std::optional<RelayOutboundFrame>> nextOutboundFrame();
    void outboundFrameWritten(const RelayOutboundFrame& frame);

    // Ends every tunnel without telling the relay (the connection is going away).
    void close();

    std::size_t tunnelCount() const { return tunnels_.size(); }
    std::size_t outboundQueueBytes() const { return outbound_.bytes(); }

    // From the tunnels.
    void sendData(const std::shared_ptr<RelayTunnel>& tunnel, std::span<const std::uint8_t> payload);
    void tunnelEnded(const RelayTunnel& tunnel, bool notifyRelay);
    void backlogDrained();

private:
    bool isOpen(const RelayTunnel& tunnel) const;
    void queueClose(const RelayTunnelID& tunnelID);
    // The relay would drop them anyway; kept, they would pile up while a
    // relay opens and closes tunnels without reading what we send.
    void dropQueuedData(const RelayTunnel& tunnel);

    asio::any_io_executor executor_;
    std::optional<std::uint16_t> localServerPort_;
    std::map<RelayTunnelID, std::shared_ptr<RelayTunnel>> tunnels_;
    ByteCountedQueue<RelayOutboundFrame, sizeOfFrame> outbound_;
    std::size_t pendingCloseFrames_ = 0;
    platform::CoroutineSignal readerSignal_;
    platform::CoroutineSignal writerSignal_;
    bool closed_ = false;
};

}  // namespace zentrabo
