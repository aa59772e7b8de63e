#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zentrabo {

// What the relay did wrong on the control connection. Any of these drops the
// control connection (and with it every tunnel); the connector reports the
// message with the state "failed" and reconnects after its backoff.
class HalvardineRelayProtocolError : public std::runtime_error {
public:
    enum class Case {
        unknownFrameType,   // value: the frame type byte
        payloadTooLarge,    // value: the declared payload length
        unexpectedPayload,  // value: the frame type byte
        tunnelAlreadyOpen,
    };

    static HalvardineRelayProtocolError unknownFrameType(std::uint8_t type);
    static HalvardineRelayProtocolError payloadTooLarge(std::uint32_t length);
    static HalvardineRelayProtocolError unexpectedPayload(std::uint8_t type);
    static HalvardineRelayProtocolError tunnelAlreadyOpen();

    Case errorCase() const noexcept { return case_; }
    std::uint32_t value() const noexcept { return value_; }

private:
    HalvardineRelayProtocolError(Case errorCase, std::uint32_t value, const std::string& message);

    Case case_;
    std::uint32_t value_;
};

}  // namespace zentrabo
