#pragma once
#include <string>
#include <string_view>

#include "platform/crypto/bytes.hpp"
#include "platform/crypto/digest.hpp"

namespace zentrabo {

// SHA-256 of a text's UTF-8 bytes as 64 lower-case hexadecimal digits.
inline std::string sha256Hex(std::string_view text) { return platform::sha256Hex(platform::bytesOf(text)); }

}  // namespace zentrabo
