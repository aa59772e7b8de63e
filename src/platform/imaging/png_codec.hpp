#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Encodes an RGBA image as an 8-bit RGBA PNG. Throws ImagingError.
std::vector<std::uint8_t> encodePng(const RgbaImage& image);

// Decodes any PNG (palette, grey, 16-bit, interlaced, with or without alpha)
// to 8-bit RGBA. The header is checked against the limits before any pixel
// memory is allocated. Throws ImagingError.
RgbaImage decodePng(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits = {});

// True when the data starts with the PNG signature.
bool isPng(std::span<const std::uint8_t> data);

}  // namespace zentrabo::platform
