#pragma once
// Decoding an image file of any format we read, told apart by its first
// bytes rather than by its name.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

enum class ImageFileFormat { png, jpeg, tiff, icns, webp };

// The most a caller reads of an image file before decoding it: an
// uncompressed picture as large as the default decode limits allow fits.
inline constexpr std::size_t maximumImageFileByteCount = std::size_t{256} << 20;

// The format the data's signature names; none for anything else.
std::optional<ImageFileFormat> imageFileFormat(std::span<const std::uint8_t> data);

// Decodes a PNG, JPEG, TIFF, .icns or WebP file, upright as its EXIF or TIFF
// orientation says; of an .icns file, its largest entry that decodes. With maximumPixelSize, an image whose long side
// is larger comes back scaled down to that long side, keeping its aspect ratio (a JPEG is decoded at a reduced scale to
// begin with); smaller images keep their size. The declared size is checked against the limits before pixel memory is
// allocated. Throws ImagingError (invalidImage for an unknown format).
RgbaImage decodeImageFile(std::span<const std::uint8_t> data,
                          std::optional<std::uint32_t> maximumPixelSize = std::nullopt,
                          const ImageDecodeLimits& limits = {});

}  // namespace zentrabo::platform
