#pragma once

#include <cstdint>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Resamples a rectangle of an image to width x height pixels, stretching it
// without keeping the aspect ratio. Shrinking averages every source pixel
// under an output pixel (a tent filter widened by the scale factor), growing
// interpolates linearly; colour is weighted by alpha so transparent pixels
// never bleed their hidden colour into the edges. Throws ImagingError
// (invalidDimensions) for an empty size or a rectangle outside the image.
RgbaImage resizeImage(const RgbaImage& image, const PixelRect& source, std::uint32_t width, std::uint32_t height);

// The whole image resampled to width x height.
RgbaImage resizeImage(const RgbaImage& image, std::uint32_t width, std::uint32_t height);

// The image scaled down, keeping its aspect ratio, so that its long side is
// maximumLongSide (each side rounded, at least 1); an image that already
// fits, or has an empty side, is returned as it is, never enlarged. Throws
// ImagingError.
RgbaImage imageFittingWithin(RgbaImage image, std::uint32_t maximumLongSide);

}  // namespace zentrabo::platform
