#include "platform/random/random_bytes.hpp"

#include <climits>
#include <random>
#include <string>

#include <openssl/rand.h>

namespace zentrabo::platform {
namespace {

// 1 on success, else the generator's own status.
int fillFromGenerator(std::span<std::uint8_t> buffer) noexcept {
    // RAND_bytes takes an int length: fill large buffers in pieces.
    while (!buffer.empty()) {
        const std::size_t piece = buffer.size() < INT_MAX ? buffer.size() : INT_MAX;
        if (const int status = RAND_bytes(buffer.data(), static_cast<int>(piece)); status != 1) return status;
        buffer = buffer.subspan(piece);
    }
    return 1;
}

}  // namespace

RandomGenerationError::RandomGenerationError(int status)
    : std::runtime_error("Random generation failed with status " + std::to_string(status) + "."), status_(status) {}

void fillSecureRandom(std::span<std::uint8_t> buffer) {
    if (const int status = fillFromGenerator(buffer); status != 1) throw RandomGenerationError(status);
}

void fillRandomNeverFailing(std::span<std::uint8_t> buffer) {
    if (fillFromGenerator(buffer) == 1) return;
    std::random_device device;
    for (std::uint8_t& byte : buffer) byte = static_cast<std::uint8_t>(device());
}

}  // namespace zentrabo::platform
