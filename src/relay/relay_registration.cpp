#include "relay/relay_registration.hpp"

#include "platform/json/json_writer.hpp"

namespace zentrabo {

std::string makeRelayRegistrationLine(const HalvardineRelayConfiguration& configuration,
                                      const HalvardineRelayRegistrationProof& proof) {
    std::string line;
    // Room for the worst escaping up front: a buffer that grew would leave
    // copies of the secret behind in freed memory.
    line.reserve(1024 + 6 * (configuration.secret.size() + configuration.deviceID.size()));
    platform::JsonWriter writer(line);
    writer.beginObject();
    writer.key("deviceID");
    writer.string(configuration.deviceID);
    writer.key("role");
    writer.string(relayRegistrationRole);
    writer.key("version");
    writer.integer(relayRegistrationVersion);
    writer.key("secret");
    writer.string(configuration.secret);
    writer.key("publicKey");
    writer.string(proof.publicKey);
    writer.key("signature");
    writer.string(proof.signature);
    writer.key("signatureAlgorithm");
    writer.string(proof.signatureAlgorithm);
    writer.key("signedAt");
    writer.integer(proof.signedAt);
    writer.endObject();
    line.push_back('\n');
    return line;
}

std::string makeSignedRelayRegistrationLine(const HalvardineRelayConfiguration& configuration,
                                            HalvardineSecurity& security) {
    return makeRelayRegistrationLine(
        configuration, HalvardineRelayRegistrationProof::make(security, configuration.deviceID, relayRegistrationRole,
                                                              relayRegistrationVersion));
}

}  // namespace zentrabo
