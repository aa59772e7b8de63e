#pragma once

#include <cstddef>
#include <span>

#include "platform/crypto/bytes.hpp"

namespace zentrabo::platform {

// Fills the buffer from the cryptographically secure generator; false when
// the generator failed (the buffer's content is then unspecified).
bool fillRandom(std::span<std::uint8_t> buffer) noexcept;
// The same, answering the generator's own status: 1 on success, else what
// it reported (0 for a failure, -1 when it is not available).
int fillRandomWithStatus(std::span<std::uint8_t> buffer) noexcept;

// `count` secure random bytes; throws CryptoError when the generator fails.
Bytes randomBytes(std::size_t count);

}  // namespace zentrabo::platform
