#pragma once
// The "zentrabo://pair?" link that a device reads from the pairing window's
// QR code, and that QR code as a PNG image.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/imaging/qr_code.hpp"

namespace zentrabo {

struct PairingLinkFields {
    std::string service;
    std::string code;
    // Present while a session is open.
    std::optional<std::string> nonce;
    // Both present, or the link carries neither.
    std::optional<std::string> host;
    std::optional<std::uint16_t> port;
    std::optional<std::string> fingerprint;

    struct Relay {
        std::string host;
        std::uint16_t port = 0;
        std::string deviceID;
    };
    // Present when relay is on and its host and device ID are valid.
    std::optional<Relay> relay;
};

// "zentrabo://pair?" and the present items as name=value pairs joined with
// "&", in a fixed order, every value percent-encoded.
std::string pairingLink(const PairingLinkFields& fields);

// Side of the pairing window's QR image in points.
inline constexpr std::uint32_t pairingQRCodePointSize = 260;
// Pixels per QR module.
inline constexpr std::uint32_t pairingQRCodeScale = 10;

// The link's QR code (error correction "M", a quiet zone of 4 modules); none
// when the link does not fit in a QR code.
std::optional<platform::QrCode> encodePairingQRCode(std::string_view link);

// The code with every module 10 pixels wide, as PNG; a blank white image of
// 260 x 260 pixels when there is none.
std::vector<std::uint8_t> pairingQRCodePng(const std::optional<platform::QrCode>& code);

}  // namespace zentrabo
