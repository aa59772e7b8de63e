#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zentrabo::platform {

// Standard Base64 (RFC 4648 alphabet) with padding and without line breaks.

// Number of characters that base64EncodeInto writes for byteCount bytes.
constexpr std::size_t base64EncodedLength(std::size_t byteCount) noexcept { return (byteCount + 2) / 3 * 4; }

// Writes exactly base64EncodedLength(bytes.size()) characters to out, so a
// caller can encode straight into a buffer it has already sized.
void base64EncodeInto(std::span<const std::uint8_t> bytes, char* out) noexcept;

std::string base64Encode(std::span<const std::uint8_t> bytes);

// Strict decoding: the length must be a multiple of four, "=" may only pad
// the last group, and every other character must belong to the alphabet
// (no white space). Returns false, leaving out unspecified, on any violation.
bool base64Decode(std::string_view text, std::vector<std::uint8_t>& out);

}  // namespace zentrabo::platform
