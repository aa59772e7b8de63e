#include <gtest/gtest.h>

#include "relay/relay_error.hpp"
#include "relay/relay_frame.hpp"

namespace zentrabo {
namespace {

RelayFrameHeaderBytes headerBytes(std::uint8_t type, std::uint32_t length) {
    RelayFrameHeaderBytes bytes{};
    bytes[0] = type;
    for (int index = 0; index < 16; ++index) bytes[1 + index] = static_cast<std::uint8_t>(0xA0 + index);
    bytes[17] = static_cast<std::uint8_t>(length >> 24);
    bytes[18] = static_cast<std::uint8_t>(length >> 16);
    bytes[19] = static_cast<std::uint8_t>(length >> 8);
    bytes[20] = static_cast<std::uint8_t>(length);
    return bytes;
}

HalvardineRelayProtocolError::Case decodeFailure(const RelayFrameHeaderBytes& bytes) {
    try {
        decodeRelayFrameHeader(bytes);
    } catch (const HalvardineRelayProtocolError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "header was accepted";
    return HalvardineRelayProtocolError::Case::tunnelAlreadyOpen;
}

TEST(RelayFrame, HeaderIsBigEndianAndRoundTrips) {
    RelayTunnelID tunnel{};
    tunnel[0] = 0x01;
    tunnel[15] = 0xFF;
    const std::vector<std::uint8_t> payload{'a', 'b', 'c'};
    const auto frame = makeRelayFrame(RelayFrameType::data, tunnel, payload);
    ASSERT_EQ(frame.size(), relayFrameHeaderSize + 3);
    EXPECT_EQ(frame[0], 2);
    EXPECT_EQ(frame[1], 0x01);
    EXPECT_EQ(frame[16], 0xFF);
    EXPECT_EQ((std::vector<std::uint8_t>(frame.begin() + 17, frame.begin() + 21)),
              (std::vector<std::uint8_t>{0, 0, 0, 3}));
    EXPECT_EQ(frame.back(), 'c');

    const auto header =
        decodeRelayFrameHeader(std::span<const std::uint8_t, relayFrameHeaderSize>(frame.data(), relayFrameHeaderSize));
    EXPECT_EQ(header.type, RelayFrameType::data);
    EXPECT_EQ(header.tunnelID, tunnel);
    EXPECT_EQ(header.payloadLength, 3u);
    EXPECT_EQ(relayTunnelHex(tunnel), "010000000000000000000000000000ff");
}

TEST(RelayFrame, LengthLimitIsInclusive) {
    EXPECT_EQ(decodeRelayFrameHeader(headerBytes(2, relayMaximumFramePayload)).payloadLength, relayMaximumFramePayload);
    EXPECT_EQ(decodeFailure(headerBytes(2, relayMaximumFramePayload + 1)),
              HalvardineRelayProtocolError::Case::payloadTooLarge);
    EXPECT_EQ(decodeFailure(headerBytes(2, 0xFFFFFFFFu)), HalvardineRelayProtocolError::Case::payloadTooLarge);
}

TEST(RelayFrame, RejectsUnknownTypesAndPayloadsOnOpenOrClose) {
    EXPECT_EQ(decodeFailure(headerBytes(0, 0)), HalvardineRelayProtocolError::Case::unknownFrameType);
    EXPECT_EQ(decodeFailure(headerBytes(4, 0)), HalvardineRelayProtocolError::Case::unknownFrameType);
    EXPECT_EQ(decodeFailure(headerBytes(1, 1)), HalvardineRelayProtocolError::Case::unexpectedPayload);
    EXPECT_EQ(decodeFailure(headerBytes(3, 1)), HalvardineRelayProtocolError::Case::unexpectedPayload);
    EXPECT_EQ(decodeRelayFrameHeader(headerBytes(1, 0)).type, RelayFrameType::open);
    EXPECT_EQ(decodeRelayFrameHeader(headerBytes(3, 0)).type, RelayFrameType::close);
    EXPECT_EQ(decodeRelayFrameHeader(headerBytes(2, 0)).payloadLength, 0u);
}

}  // namespace
}  // namespace zentrabo
