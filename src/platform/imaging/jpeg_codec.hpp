#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/imaging/image.hpp"
#include "platform/imaging/packed_pixels.hpp"

namespace zentrabo::platform {

// The largest width or height a JPEG encoder accepts.
inline constexpr std::uint32_t maximumJpegDimension = 65500;

// Encodes the colour of a picture as a baseline JPEG (alpha is dropped, 4:2:0
// chroma, accurate DCT) with a lossy compression quality from 0.0 (smallest)
// to 1.0 (best); values outside that range are clamped. The rows are asked
// for one at a time, top first, only once the size has been accepted.
// Throws ImagingError (invalidDimensions for an empty side or one over
// maximumJpegDimension).
std::vector<std::uint8_t> encodeJpeg(const RgbaRows& picture, double quality);
std::vector<std::uint8_t> encodeJpeg(const RgbaImage& image, double quality);
// The same from pixels read in place in their own byte order (an X
// server's picture), with no copy into RGBA.
std::vector<std::uint8_t> encodeJpeg(const PackedPixels& picture, double quality);

// Decodes a JPEG to RGBA with opaque alpha. The header is checked against the
// limits before any pixel memory is allocated, and progressive files with an
// excessive number of scans are refused. Throws ImagingError.
RgbaImage decodeJpeg(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits = {});

// Decodes a JPEG at the smallest of the decoder's scaling factors (1/8 to 1)
// that keeps its long side at least minimumLongSide pixels, so a thumbnail
// costs a fraction of a full decode; at full size when it is no larger. The
// declared full size is checked against the limits. Throws ImagingError.
RgbaImage decodeJpegScaled(std::span<const std::uint8_t> data, std::uint32_t minimumLongSide,
                           const ImageDecodeLimits& limits = {});

// True when the data starts with a JPEG start-of-image marker.
bool isJpeg(std::span<const std::uint8_t> data);

}  // namespace zentrabo::platform
