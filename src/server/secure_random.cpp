#include "server/secure_random.hpp"

#include <random>
#include <string>

#include "platform/crypto/random.hpp"
#include "security/halvardine_security_error.hpp"

namespace zentrabo {

std::vector<std::uint8_t> randomBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    if (platform::fillRandom(bytes)) return bytes;
    std::random_device device;
    std::uniform_int_distribution<unsigned> distribution(0, 255);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(distribution(device));
    return bytes;
}

std::vector<std::uint8_t> secureRandomBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    if (const int status = platform::fillRandomWithStatus(bytes); status != 1) {
        throw HalvardineSecurityError::identityUnavailable("Random generation failed with status " +
                                                           std::to_string(status) + ".");
    }
    return bytes;
}

}  // namespace zentrabo
