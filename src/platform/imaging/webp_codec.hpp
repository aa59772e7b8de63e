#pragma once
// WebP pictures (lossy or lossless, with or without alpha) through libwebp.
#include <cstdint>
#include <span>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Decodes a still WebP file (an animation's first frame is not read). The
// declared size is checked against the limits before pixel memory is
// allocated. Throws ImagingError.
RgbaImage decodeWebp(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits = {});

// True when the data starts with a WebP file's RIFF header.
bool isWebp(std::span<const std::uint8_t> data);

}  // namespace zentrabo::platform
