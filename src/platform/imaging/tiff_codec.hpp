#pragma once

#include <cstdint>
#include <span>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Decodes the first image of a TIFF file through libtiff's RGBA reader, turned
// upright as its Orientation tag says. The declared size is checked against
// the limits before any pixel memory is allocated, and libtiff may allocate
// no single block larger than 256 MiB for the file's own structures. Throws
// ImagingError.
RgbaImage decodeTiff(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits = {});

// True when the data starts with a TIFF header of either byte order.
bool isTiff(std::span<const std::uint8_t> data);

}  // namespace zentrabo::platform
