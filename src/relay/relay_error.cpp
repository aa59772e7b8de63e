#include "relay/relay_error.hpp"

#include "relay/relay_frame.hpp"

namespace zentrabo {

HalvardineRelayProtocolError::HalvardineRelayProtocolError(Case errorCase, std::uint32_t value,
                                                           const std::string& message)
    : std::runtime_error(message), case_(errorCase), value_(value) {}

HalvardineRelayProtocolError HalvardineRelayProtocolError::unknownFrameType(std::uint8_t type) {
    return {Case::unknownFrameType, type, "The relay sent a frame of unknown type " + std::to_string(type) + "."};
}

HalvardineRelayProtocolError HalvardineRelayProtocolError::payloadTooLarge(std::uint32_t length) {
    return {Case::payloadTooLarge, length,
            "The relay announced a frame of " + std::to_string(length) + " bytes, more than the " +
                std::to_string(relayMaximumFramePayload) + " allowed."};
}

HalvardineRelayProtocolError HalvardineRelayProtocolError::unexpectedPayload(std::uint8_t type) {
    return {Case::unexpectedPayload, type,
            "The relay sent a payload with a frame of type " + std::to_string(type) + ", which carries none."};
}

HalvardineRelayProtocolError HalvardineRelayProtocolError::tunnelAlreadyOpen() {
    return {Case::tunnelAlreadyOpen, 0, "The relay opened a tunnel that is already open."};
}

}  // namespace zentrabo
