#pragma once
// Bytes as hexadecimal text, for identifiers and digests in logs and files.
#include <cstdint>
#include <span>
#include <string>

namespace zentrabo::platform {

// Each byte as two lowercase hexadecimal digits, without separators.
inline std::string hexLower(std::span<const std::uint8_t> bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

}  // namespace zentrabo::platform
