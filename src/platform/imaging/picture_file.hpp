#pragma once
// A picture file as a desktop shows one: a raster image of any format
// decodeImageFile reads, or an SVG document.
#include <cstdint>
#include <span>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The picture upright, its long side at most maximumPixelSize (a raster
// image is never enlarged; an SVG document is drawn at its own size, or at
// that long side when it has none). Throws ImagingError (invalidImage when
// the data is neither).
RgbaImage decodePictureFile(std::span<const std::uint8_t> data, std::uint32_t maximumPixelSize);

}  // namespace zentrabo::platform
