#include "platform/imaging/image.hpp"

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
