#include "platform/crypto/random.hpp"

#include <climits>

#include <openssl/rand.h>

#include "platform/crypto/crypto_error.hpp"

namespace zentrabo::platform {

int fillRandomWithStatus(std::span<std::uint8_t> buffer) noexcept {
    // RAND_bytes takes an int length: fill large buffers in pieces.
    while (!buffer.empty()) {
        const std::size_t piece = buffer.size() < INT_MAX ? buffer.size() : INT_MAX;
        if (const int status = RAND_bytes(buffer.data(), static_cast<int>(piece)); status != 1) return status;
        buffer = buffer.subspan(piece);
    }
    return 1;
}

bool fillRandom(std::span<std::uint8_t> buffer) noexcept { return fillRandomWithStatus(buffer) == 1; }

Bytes randomBytes(std::size_t count) {
    Bytes bytes(count);
    if (!fillRandom(bytes)) throw CryptoError("Random generation");
    return bytes;
}

}  // namespace zentrabo::platform
