#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Encodes the colour of an RGBA image as a baseline JPEG (alpha is dropped)
// with a lossy compression quality from 0.0 (smallest) to 1.0 (best); values
// outside that range are clamped. Throws ImagingError.
std::vector<std::uint8_t> encodeJpeg(const RgbaImage& image, double quality);

// Decodes a JPEG to RGBA with opaque alpha. The header is checked against the
// limits before any pixel memory is allocated, and progressive files with an
// excessive number of scans are refused. Throws ImagingError.
RgbaImage decodeJpeg(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits = {});

// True when the data starts with a JPEG start-of-image marker.
bool isJpeg(std::span<const std::uint8_t> data);

}  // namespace zentrabo::platform
