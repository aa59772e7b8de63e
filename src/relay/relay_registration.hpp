#pragma once

#include <string>
#include <string_view>

#include "relay/relay_configuration.hpp"
#include "security/halvardine_relay_registration_proof.hpp"
#include "security/halvardine_security.hpp"

namespace zentrabo {

inline constexpr std::string_view relayRegistrationRole = "zentrabo-server";
inline constexpr int relayRegistrationVersion = 2;

// The first line of a control connection, a JSON object ending in a line feed:
// the device identifier, role, version and secret, and the proof that this Mac
// holds its relay signing key. It carries the secret: never log it.
std::string makeRelayRegistrationLine(const HalvardineRelayConfiguration& configuration,
                                      const HalvardineRelayRegistrationProof& proof);

// The same with a proof made now with the relay control key. Throws
// HalvardineSecurityError when the key is unavailable or signing fails.
std::string makeSignedRelayRegistrationLine(const HalvardineRelayConfiguration& configuration,
                                            HalvardineSecurity& security);

}  // namespace zentrabo
