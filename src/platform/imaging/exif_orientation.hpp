#pragma once
// The orientation a JPEG's EXIF data gives, read by a small reader of our own
// that looks at nothing but the one APP1 segment that holds it and never
// reads past that segment, whatever its offsets and counts claim.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/imaging/image_orientation.hpp"

namespace zentrabo::platform {

// The payload of the JPEG's first APP1 segment that holds EXIF data (from
// "Exif\0\0" on, without the marker and the length), a view into jpeg; none
// when the markers before the image data hold no such segment, or run past
// the end of the data.
std::optional<std::span<const std::uint8_t>> jpegExifSegment(std::span<const std::uint8_t> jpeg);

// The Orientation entry (tag 0x0112) of the first image directory of an EXIF
// segment's payload; none when the payload is not EXIF data, the entry is
// missing or malformed, or its value is not 1 to 8.
std::optional<ImageOrientation> exifOrientation(std::span<const std::uint8_t> segment);

// The orientation of a JPEG; none when it says nothing (upright).
std::optional<ImageOrientation> jpegOrientation(std::span<const std::uint8_t> jpeg);

}  // namespace zentrabo::platform
