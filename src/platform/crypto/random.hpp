#pragma once

#include <cstddef>
#include <span>

#include "platform/crypto/bytes.hpp"

namespace zentrabo::platform {

// Fills the buffer from the cryptographically secure generator; false when
// the generator failed (the buffer's content is then unspecified).
bool fillRandom(std::span<std::uint8_t> buffer) noexcept;

// `count` secure random bytes; throws CryptoError when the generator fails.
Bytes randomBytes(std::size_t count);

}  // namespace zentrabo::platform
