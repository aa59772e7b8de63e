#include "relay/relay_frame.hpp"

#include <algorithm>

#include "platform/binary/big_endian.hpp"
#include "platform/binary/hex.hpp"
#include "relay/relay_error.hpp"

namespace zentrabo {

void encodeRelayFrameHeader(const RelayFrameHeader& header, std::span<std::uint8_t, relayFrameHeaderSize> out) {
    out[0] = static_cast<std::uint8_t>(header.type);
    std::copy(header.tunnelID.begin(), header.tunnelID.end(), out.begin() + 1);
    platform::writeBigEndian(out, 17, header.payloadLength);
}

RelayFrameHeader decodeRelayFrameHeader(std::span<const std::uint8_t, relayFrameHeaderSize> bytes) {
    RelayFrameHeader header;
    const std::uint8_t type = bytes[0];
    if (type < static_cast<std::uint8_t>(RelayFrameType::open) ||
        type > static_cast<std::uint8_t>(RelayFrameType::close)) {
        throw HalvardineRelayProtocolError::unknownFrameType(type);
    }
    header.type = static_cast<RelayFrameType>(type);
    std::copy(bytes.begin() + 1, bytes.begin() + 17, header.tunnelID.begin());
    header.payloadLength = platform::readUInt32(bytes, 17);
    if (header.payloadLength > relayMaximumFramePayload) {
        throw HalvardineRelayProtocolError::payloadTooLarge(header.payloadLength);
    }
    if (header.payloadLength != 0 && header.type != RelayFrameType::data) {
        throw HalvardineRelayProtocolError::unexpectedPayload(type);
    }
    return header;
}

std::vector<std::uint8_t> makeRelayFrame(RelayFrameType type, const RelayTunnelID& tunnelID,
                                         std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> frame(relayFrameHeaderSize + payload.size());
    encodeRelayFrameHeader({type, tunnelID, static_cast<std::uint32_t>(payload.size())},
                           std::span<std::uint8_t, relayFrameHeaderSize>(frame.data(), relayFrameHeaderSize));
    std::copy(payload.begin(), payload.end(), frame.begin() + relayFrameHeaderSize);
    return frame;
}

std::string relayTunnelHex(const RelayTunnelID& tunnelID) { return platform::hexLower(tunnelID); }

}  // namespace zentrabo
