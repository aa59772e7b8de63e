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

namespace detail {

inline void requireInside(std::size_t size, std::size_t offset, std::size_t count) {
    if (offset > size || size - offset < count) throw std::out_of_range("big-endian number past the end of the bytes");
}

}  // namespace detail

// The number at offset. Throws std::out_of_range when it does not lie wholly
// inside the bytes, so a short payload can never be read past its end.
template <std::unsigned_integral Number>
Number readBigEndian(std::span<const std::uint8_t> bytes, std::size_t offset) {
    detail::requireInside(bytes.size(), offset, sizeof(Number));
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

// Writes the number at offset. Throws std::out_of_range when it does not fit
// wholly inside the bytes.
template <std::unsigned_integral Number>
void writeBigEndian(std::span<std::uint8_t> bytes, std::size_t offset, Number value) {
    detail::requireInside(bytes.size(), offset, sizeof(Number));
    for (std::size_t index = sizeof(Number); index-- > 0;) {
        bytes[offset++] = static_cast<std::uint8_t>(value >> (8 * index));
    }
}

template <std::unsigned_integral Number>
void appendBigEndian(std::vector<std::uint8_t>& out, Number value) {
    const std::size_t offset = out.size();
    out.resize(offset + sizeof(Number));
    writeBigEndian(out, offset, value);
}

}  // namespace zentrabo::platform
