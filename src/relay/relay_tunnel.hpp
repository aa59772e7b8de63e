#pragma once

#include <asio.hpp>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/dispatch/coroutine_signal.hpp"
#include "relay/byte_counted_queue.hpp"
#include "relay/relay_frame.hpp"

namespace zentrabo {

class RelayTunnelMux;

// Bytes of one client that the relay tunnels to us are written to the local
// listener until this many are waiting; past it the mux stops reading the
// control connection until the local server has caught up.
inline constexpr std::size_t relayTunnelBacklogLimit = 256 * 1024;
// Bytes of frames read from the local listener and not yet written to the relay; past
// it the tunnel stops reading the local socket until the relay has caught up.
inline constexpr std::size_t relayTunnelOutboundLimit = 256 * 1024;
// One read from the local listener, and so the largest data frame we send.
inline constexpr std::size_t relayTunnelReadChunk = 64 * 1024;

// One tunnelled client: a loopback TCP connection to the local TLS listener
// whose bytes are piped to and from the relay's frames. It does not look into
// them: the client's TLS ends at the listener, not here.
//
// Everything runs on the connector's serial queue. The tunnel's own coroutines
// keep it alive while its socket has operations pending; it reaches its mux
// only through a weak pointer.
class RelayTunnel : public std::enable_shared_from_this<RelayTunnel> {
public:
    RelayTunnel(const asio::any_io_executor& executor, const RelayTunnelID& tunnelID,
                std::weak_ptr<RelayTunnelMux> mux);

    // Connects to 127.0.0.1:localServerPort and starts piping. Without a port
    // the local listener is not ready, and the tunnel ends at once.
    void start(std::optional<std::uint16_t> localServerPort);

    // Bytes from the relay for the local server.
    void deliver(std::vector<std::uint8_t> payload);

    // One of our data frames, of this many bytes with its header, reached the relay.
    void outboundWritten(std::size_t frameBytes);

    // Ends the tunnel; with notifyRelay the mux is told to send a close frame.
    void end(bool notifyRelay);

    const RelayTunnelID& tunnelID() const { return tunnelID_; }
    bool isBacklogOverLimit() const { return backlog_.bytes() > relayTunnelBacklogLimit; }

private:
    asio::awaitable<void> run(std::uint16_t localServerPort);
    asio::awaitable<void> readLocal();
    asio::awaitable<void> writeLocal();

    RelayTunnelID tunnelID_;
    std::weak_ptr<RelayTunnelMux> mux_;
    asio::ip::tcp::socket socket_;
    ByteCountedQueue<std::vector<std::uint8_t>, sizeOfBytes> backlog_;
    std::size_t outboundBytes_ = 0;
    platform::CoroutineSignal backlogSignal_;
    platform::CoroutineSignal outboundSignal_;
    bool ended_ = false;
};

}  // namespace zentrabo
