#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "security/halvardine_security.hpp"

namespace zentrabo {

// Proof that this Mac holds its long-lived relay control key: a signature
// over a canonical text naming the device, role, version, time and key.
struct HalvardineRelayRegistrationProof {
    static constexpr std::string_view algorithm = "p256-x963-sha256";

    std::string publicKey;  // Base64 of the X9.63 uncompressed public key
    std::string signature;  // Base64 of the DER ECDSA signature
    std::string signatureAlgorithm;
    std::int64_t signedAt = 0;  // seconds since 1970-01-01 00:00:00 UTC

    friend bool operator==(const HalvardineRelayRegistrationProof&, const HalvardineRelayRegistrationProof&) = default;

    // Signs with the relay control key (made on first use) at the time of the
    // security object's clock. Throws
    // HalvardineSecurityError: privateKeyUnavailable, publicKeyUnavailable,
    // signatureFailed.
    static HalvardineRelayRegistrationProof make(HalvardineSecurity& security, std::optional<std::string_view> deviceID,
                                                 std::string_view role, std::int64_t version);

    // The six lines that are signed, joined by line feeds.
    static std::string canonicalText(std::optional<std::string_view> deviceID, std::string_view role,
                                     std::int64_t version, std::int64_t signedAt, std::string_view publicKey);
};

}  // namespace zentrabo
