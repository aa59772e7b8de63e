#pragma once
// Encoders write H.264 and HEVC as Annex-B byte streams (NAL units behind
// 00 00 01 or 00 00 00 01); the stream's video payloads carry the same NAL
// units behind a big-endian length instead.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zentrabo {

// The NAL units of an Annex-B stream, in order, as views into it: split at
// 3- and 4-byte start codes, trailing zero bytes dropped, emulation-prevention
// bytes (00 00 03) kept. Bytes before the first start code and empty units
// are not units.
std::vector<std::span<const std::uint8_t>> annexBNalUnits(std::span<const std::uint8_t> stream);

// Bytes of the length in front of each NAL unit of a video payload.
inline constexpr std::size_t nalUnitLengthPrefixSize = 4;

// Appends the NAL unit behind its 4-byte big-endian length.
void appendLengthPrefixedNalUnit(std::vector<std::uint8_t>& payload, std::span<const std::uint8_t> nalUnit);

}  // namespace zentrabo
