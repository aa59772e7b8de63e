#include "platform/imaging/webp_codec.hpp"

#include <webp/decode.h>

#include <cstring>

namespace zentrabo::platform {

bool isWebp(std::span<const std::uint8_t> data) {
    return data.size() >= 12 && std::memcmp(data.data(), "RIFF", 4) == 0 &&
           std::memcmp(data.data() + 8, "WEBP", 4) == 0;
}

RgbaImage decodeWebp(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    int width = 0;
    int height = 0;
    if (!isWebp(data) || !WebPGetInfo(data.data(), data.size(), &width, &height) || width <= 0 || height <= 0) {
        throw ImagingError(ImagingError::Case::invalidImage, "not a readable WebP file");
    }
    checkDecodedImageSize(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), limits);
    RgbaImage image(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
    const int stride = width * static_cast<int>(RgbaImage::bytesPerPixel);
    if (!WebPDecodeRGBAInto(data.data(), data.size(), image.pixels.data(), image.pixels.size(), stride)) {
        throw ImagingError(ImagingError::Case::invalidImage, "the WebP data does not decode");
    }
    return image;
}

}  // namespace zentrabo::platform
