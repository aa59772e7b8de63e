// Feeds arbitrary bytes to the relay frame decoder as the control connection
// delivers them after the registration line: a 21-byte header, then the
// payload it announces, then the next header. A header is refused with the
// protocol error its first fault names (an unknown type, then a length over
// 1 MiB, then a payload on an open or close), which ends the connection, or
// decodes to the frame it encodes back to, byte for byte; a frame rebuilt
// whole carries its payload unchanged.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "fuzz_require.hpp"
#include "relay/relay_error.hpp"
#include "relay/relay_frame.hpp"

namespace {

using zentrabo::fuzzing::require;

using zentrabo::HalvardineRelayProtocolError;
using zentrabo::RelayFrameHeader;
using zentrabo::relayFrameHeaderSize;
using zentrabo::RelayFrameType;

std::uint32_t announcedLength(std::span<const std::uint8_t, relayFrameHeaderSize> bytes) {
    return std::uint32_t{bytes[17]} << 24 | std::uint32_t{bytes[18]} << 16 | std::uint32_t{bytes[19]} << 8 | bytes[20];
}

// The fault a header shows first, from the protocol's rules alone.
std::optional<HalvardineRelayProtocolError::Case> expectedFault(
    std::span<const std::uint8_t, relayFrameHeaderSize> bytes) {
    using Case = HalvardineRelayProtocolError::Case;
    const std::uint8_t type = bytes[0];
    if (type < 1 || type > 3) return Case::unknownFrameType;
    const std::uint32_t length = announcedLength(bytes);
    if (length > zentrabo::relayMaximumFramePayload) return Case::payloadTooLarge;
    if (length != 0 && type != 2) return Case::unexpectedPayload;
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the input's size, so a read past its end is caught.
    const std::vector<std::uint8_t> stream(data, data + size);
    std::size_t offset = 0;
    while (stream.size() - offset >= relayFrameHeaderSize) {
        const std::span<const std::uint8_t, relayFrameHeaderSize> headerBytes(stream.data() + offset,
                                                                              relayFrameHeaderSize);
        offset += relayFrameHeaderSize;
        const auto fault = expectedFault(headerBytes);
        RelayFrameHeader header;
        try {
            header = zentrabo::decodeRelayFrameHeader(headerBytes);
        } catch (const HalvardineRelayProtocolError& error) {
            require(fault == error.errorCase());
            const std::uint32_t value = error.errorCase() == HalvardineRelayProtocolError::Case::payloadTooLarge
                                            ? announcedLength(headerBytes)
                                            : headerBytes[0];
            require(error.value() == value);
            return 0;  // the connection ends here
        }
        require(!fault);
        require(header.payloadLength <= zentrabo::relayMaximumFramePayload);
        require(header.payloadLength == 0 || header.type == RelayFrameType::data);
        zentrabo::RelayFrameHeaderBytes encoded{};
        zentrabo::encodeRelayFrameHeader(header, encoded);
        require(std::equal(encoded.begin(), encoded.end(), headerBytes.begin()));

        // The connection waits for a payload that has not all arrived yet.
        if (stream.size() - offset < header.payloadLength) return 0;
        const std::span<const std::uint8_t> payload(stream.data() + offset, header.payloadLength);
        offset += header.payloadLength;
        const auto frame = zentrabo::makeRelayFrame(header.type, header.tunnelID, payload);
        require(frame.size() == relayFrameHeaderSize + payload.size());
        require(std::equal(frame.begin(), frame.begin() + relayFrameHeaderSize, headerBytes.begin()));
        require(std::equal(frame.begin() + relayFrameHeaderSize, frame.end(), payload.begin(), payload.end()));
    }
    return 0;
}
