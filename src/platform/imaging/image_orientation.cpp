#include "platform/imaging/image_orientation.hpp"

#include <cstring>

namespace zentrabo::platform {

namespace {

// Where the stored pixel that upright pixel (x, y) shows lies, counted in
// pixels from the start of the stored image: first + x * across + y * down.
struct StoredWalk {
    std::int64_t first = 0;
    std::int64_t across = 1;
    std::int64_t down = 0;
};

StoredWalk storedWalk(ImageOrientation orientation, std::int64_t width, std::int64_t height) {
    const std::int64_t lastColumn = width - 1;
    const std::int64_t lastRow = (height - 1) * width;
    switch (orientation) {
    case ImageOrientation::topLeft:
        break;
    case ImageOrientation::topRight:
        return {lastColumn, -1, width};
    case ImageOrientation::bottomRight:
        return {lastRow + lastColumn, -1, -width};
    case ImageOrientation::bottomLeft:
        return {lastRow, 1, -width};
    case ImageOrientation::leftTop:
        return {0, width, 1};
    case ImageOrientation::rightTop:
        return {lastRow, -width, 1};
    case ImageOrientation::rightBottom:
        return {lastRow + lastColumn, -width, -1};
    case ImageOrientation::leftBottom:
        return {lastColumn, width, -1};
    }
    return {0, 1, width};
}

}  // namespace

std::optional<ImageOrientation> imageOrientation(std::uint32_t tagValue) {
    if (tagValue < 1 || tagValue > 8) return std::nullopt;
    return static_cast<ImageOrientation>(tagValue);
}

RgbaImage uprightImage(RgbaImage stored, ImageOrientation orientation) {
    if (orientation == ImageOrientation::topLeft || stored.pixels.empty()) return stored;
    const bool transposed = orientation >= ImageOrientation::leftTop;
    RgbaImage upright(transposed ? stored.height : stored.width, transposed ? stored.width : stored.height);
    const StoredWalk walk = storedWalk(orientation, stored.width, stored.height);
    const std::uint8_t* source = stored.pixels.data();
    std::uint8_t* target = upright.pixels.data();
    for (std::int64_t y = 0; y < upright.height; ++y) {
        std::int64_t index = walk.first + y * walk.down;
        for (std::int64_t x = 0; x < upright.width; ++x, index += walk.across) {
            std::memcpy(target, source + index * RgbaImage::bytesPerPixel, RgbaImage::bytesPerPixel);
            target += RgbaImage::bytesPerPixel;
        }
    }
    return upright;
}

}  // namespace zentrabo::platform
