#include "platform/imaging/image.hpp"

#include <algorithm>
#include <cstring>

namespace zentrabo::platform {

namespace {

std::string messageFor(ImagingError::Case errorCase, const std::string& detail) {
    const char* text = "";
    switch (errorCase) {
    case ImagingError::Case::invalidImage:
        text = "The image data is not valid";
        break;
    case ImagingError::Case::imageTooLarge:
        text = "The image is too large";
        break;
    case ImagingError::Case::invalidDimensions:
        text = "The image size is not valid";
        break;
    case ImagingError::Case::encodingFailed:
        text = "The image could not be encoded";
        break;
    case ImagingError::Case::qrCodeTextTooLong:
        text = "The text is too long for a QR code";
        break;
    }
    return detail.empty() ? std::string(text) : std::string(text) + ": " + detail;
}

}  // namespace

RgbaImage::RgbaImage(std::uint32_t width, std::uint32_t height, std::uint32_t rgba)
    : width(width), height(height), pixels(std::size_t{width} * height * bytesPerPixel) {
    const std::uint8_t colour[bytesPerPixel] = {static_cast<std::uint8_t>(rgba >> 24),
                                                static_cast<std::uint8_t>(rgba >> 16),
                                                static_cast<std::uint8_t>(rgba >> 8), static_cast<std::uint8_t>(rgba)};
    for (std::size_t offset = 0; offset < pixels.size(); offset += bytesPerPixel) {
        for (std::size_t channel = 0; channel < bytesPerPixel; ++channel) pixels[offset + channel] = colour[channel];
    }
}

RgbaRows rowsOf(const RgbaImage& image) {
    return {image.width, image.height, [&image](std::uint32_t y) { return image.pixel(0, y); }};
}

void copyImageInto(RgbaImage& canvas, const RgbaImage& image, std::int64_t x, std::int64_t y) {
    // Past the far edges nothing shows, and x + width below cannot overflow.
    if (x >= std::int64_t{canvas.width} || y >= std::int64_t{canvas.height}) return;
    const std::int64_t left = std::max<std::int64_t>(x, 0);
    const std::int64_t top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(x + image.width, canvas.width);
    const std::int64_t bottom = std::min<std::int64_t>(y + image.height, canvas.height);
    if (left >= right || top >= bottom) return;
    const std::size_t rowBytes = static_cast<std::size_t>(right - left) * RgbaImage::bytesPerPixel;
    for (std::int64_t row = top; row < bottom; ++row) {
        std::memcpy(canvas.pixel(static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(row)),
                    image.pixel(static_cast<std::uint32_t>(left - x), static_cast<std::uint32_t>(row - y)), rowBytes);
    }
}

ImagingError::ImagingError(Case errorCase, const std::string& detail)
    : std::runtime_error(messageFor(errorCase, detail)), case_(errorCase) {}

void checkDecodedImageSize(std::uint32_t width, std::uint32_t height, const ImageDecodeLimits& limits) {
    if (width == 0 || height == 0) throw ImagingError(ImagingError::Case::invalidDimensions, "empty image");
    if (width > limits.maximumDimension || height > limits.maximumDimension ||
        std::uint64_t{width} * height > limits.maximumPixelCount) {
        throw ImagingError(ImagingError::Case::imageTooLarge,
                           std::to_string(width) + " x " + std::to_string(height) + " pixels");
    }
}

}  // namespace zentrabo::platform
