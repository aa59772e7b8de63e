#pragma once
// How a stored picture is to be turned to stand upright, as the orientation
// tag of TIFF and of a JPEG's EXIF data says it: each value names where the
// stored first row and first column belong on the upright picture.
#include <cstdint>
#include <optional>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

enum class ImageOrientation : std::uint16_t {
    topLeft = 1,      // upright as stored
    topRight = 2,     // mirrored left to right
    bottomRight = 3,  // upside down
    bottomLeft = 4,   // mirrored top to bottom
    leftTop = 5,      // mirrored along the main diagonal
    rightTop = 6,     // to be turned a quarter clockwise
    rightBottom = 7,  // mirrored along the other diagonal
    leftBottom = 8,   // to be turned a quarter anticlockwise
};

// The orientation a tag value 1 to 8 names; none for any other value.
std::optional<ImageOrientation> imageOrientation(std::uint32_t tagValue);

// The stored image turned or mirrored so that it stands upright; the
// orientations 5 to 8 swap its width and height.
RgbaImage uprightImage(RgbaImage stored, ImageOrientation orientation);

}  // namespace zentrabo::platform
