#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zentrabo {

// Frames of the relay control connection, after the registration line:
//   type (1 byte) | tunnel identifier (16 bytes) | payload length (4 bytes, big-endian) | payload
enum class RelayFrameType : std::uint8_t {
    open = 1,   // relay -> connector: a client arrived; no payload
    data = 2,   // both ways: bytes of the tunnel
    close = 3,  // both ways: the tunnel is gone; no payload
};

using RelayTunnelID = std::array<std::uint8_t, 16>;

inline constexpr std::size_t relayFrameHeaderSize = 21;
// A frame is read whole before it is handed on; this caps what one frame can
// make us hold, and a larger announced length is refused before any allocation.
inline constexpr std::uint32_t relayMaximumFramePayload = 1024 * 1024;

struct RelayFrameHeader {
    RelayFrameType type = RelayFrameType::data;
    RelayTunnelID tunnelID{};
    std::uint32_t payloadLength = 0;
};

using RelayFrameHeaderBytes = std::array<std::uint8_t, relayFrameHeaderSize>;

void encodeRelayFrameHeader(const RelayFrameHeader& header, std::span<std::uint8_t, relayFrameHeaderSize> out);

// Throws HalvardineRelayProtocolError for an unknown type, a length above
// relayMaximumFramePayload, or a payload announced on an open or close frame.
RelayFrameHeader decodeRelayFrameHeader(std::span<const std::uint8_t, relayFrameHeaderSize> bytes);

// A whole frame in one buffer, ready to write.
std::vector<std::uint8_t> makeRelayFrame(RelayFrameType type, const RelayTunnelID& tunnelID,
                                         std::span<const std::uint8_t> payload = {});

// 32 lowercase hexadecimal digits, for log lines.
std::string relayTunnelHex(const RelayTunnelID& tunnelID);

}  // namespace zentrabo
