#pragma once
// Unsigned numbers in big-endian byte order (most significant byte first),
// as the binary stream formats carry them.
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace zentrabo::platform {

// The number at offset. Throws std::out_of_range when it does not lie wholly
// inside the bytes, so a short payload can never be read past its end.
template <std::unsigned_integral Number>
Number readBigEndian(std::span<const std::uint8_t> bytes, std::size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < sizeof(Number)) {
        throw std::out_of_range("big-endian number past the end of the bytes");
    }
    Number value = 0;
    for (std::size_t index = 0; index < sizeof(Number); ++index) {
        value = static_cast<Number>((value << 8) | bytes[offset + index]);
    }
    return value;
}

inline std::uint16_t readUInt16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return readBigEndian<std::uint16_t>(bytes, offset);
}

inline std::uint32_t readUInt32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return readBigEndian<std::uint32_t>(bytes, offset);
}

inline std::uint64_t readUInt64(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return readBigEndian<std::uint64_t>(bytes, offset);
}

template <std::unsigned_integral Number>
void appendBigEndian(std::vector<std::uint8_t>& out, Number value) {
    for (std::size_t index = sizeof(Number); index-- > 0;) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * index)));
    }
}

}  // namespace zentrabo::platform
