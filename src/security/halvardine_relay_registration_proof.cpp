#include "security/halvardine_relay_registration_proof.hpp"

#include <cmath>

#include "platform/crypto/crypto_error.hpp"
#include "platform/text/base64.hpp"
#include "platform/text/trim.hpp"
#include "security/halvardine_relay.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {

std::string HalvardineRelayRegistrationProof::canonicalText(std::optional<std::string_view> deviceID,
                                                            std::string_view role, std::int64_t version,
                                                            std::int64_t signedAt, std::string_view publicKey) {
    return "zentrabo-relay-register-v2\n" + HalvardineRelay::normalizedDeviceID(deviceID).value_or("") + "\n" +
           platform::trimWhitespaceAndNewlines(role) + "\n" + std::to_string(version) + "\n" +
           std::to_string(signedAt) + "\n" + platform::trimWhitespaceAndNewlines(publicKey);
}

HalvardineRelayRegistrationProof HalvardineRelayRegistrationProof::make(HalvardineSecurity& security,
                                                                        std::optional<std::string_view> deviceID,
                                                                        std::string_view role, std::int64_t version) {
    const platform::EcPrivateKey key = security.loadOrCreateRelayControlKey();
    platform::Bytes point;
    try {
        point = key.publicKeyX963();
    } catch (const platform::CryptoError&) {
        throw HalvardineSecurityError::publicKeyUnavailable();
    }
    HalvardineRelayRegistrationProof proof;
    proof.publicKey = platform::base64Encode(point);
    proof.signedAt = static_cast<std::int64_t>(std::trunc(security.clock().now().unixSeconds()));
    const std::string text = canonicalText(deviceID, role, version, proof.signedAt, proof.publicKey);
    try {
        proof.signature = platform::base64Encode(key.signSha256(platform::bytesOf(text)));
    } catch (const platform::CryptoError&) {
        throw HalvardineSecurityError::signatureFailed();
    }
    proof.signatureAlgorithm = std::string(algorithm);
    return proof;
}

}  // namespace zentrabo
