#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/binary/hex.hpp"
#include "platform/crypto/bytes.hpp"

namespace zentrabo::platform {

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 of the data.
Sha256Digest sha256(ByteView data);

// SHA-256 of the data as 64 lowercase hexadecimal digits.
std::string sha256Hex(ByteView data);

// HMAC-SHA256 of the data under the key.
Sha256Digest hmacSha256(ByteView key, ByteView data);

// PBKDF2 with HMAC-SHA256; throws CryptoError when the iteration count or
// the length is out of OpenSSL's range or the derivation fails.
Bytes pbkdf2HmacSha256(ByteView password, ByteView salt, std::uint32_t iterations, std::size_t keyLength);

// Equality whose running time does not depend on where the inputs differ
// (it does depend on their lengths, which are not secret).
bool constantTimeEquals(ByteView a, ByteView b) noexcept;

}  // namespace zentrabo::platform
