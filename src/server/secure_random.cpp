#include "server/secure_random.hpp"

#include <random>

#include "platform/crypto/random.hpp"

namespace zentrabo {

std::vector<std::uint8_t> secureRandomBytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    if (platform::fillRandom(bytes)) return bytes;
    std::random_device device;
    std::uniform_int_distribution<unsigned> distribution(0, 255);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(distribution(device));
    return bytes;
}

}  // namespace zentrabo
