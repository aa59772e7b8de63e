#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/imaging/packed_pixels.hpp"

namespace zentrabo::platform {

// An 8-bit RGBA bitmap, rows top to bottom, four bytes a pixel in the order
// red, green, blue, alpha, alpha not premultiplied (as PNG stores it).
struct RgbaImage {
    static constexpr std::size_t bytesPerPixel = 4;

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint8_t> pixels;  // width * height * 4 bytes

    RgbaImage() = default;
    // A width x height image filled with one colour (0xRRGGBBAA).
    RgbaImage(std::uint32_t width, std::uint32_t height, std::uint32_t rgba = 0);

    std::size_t rowBytes() const { return std::size_t{width} * bytesPerPixel; }
    std::uint8_t* pixel(std::uint32_t x, std::uint32_t y) { return pixels.data() + y * rowBytes() + x * bytesPerPixel; }
    const std::uint8_t* pixel(std::uint32_t x, std::uint32_t y) const {
        return pixels.data() + y * rowBytes() + x * bytesPerPixel;
    }

    bool operator==(const RgbaImage&) const = default;
};

// A picture handed over a row at a time, so that one composed of other
// images never has to exist whole in memory: rowAt(y) gives row y (width * 4
// bytes of RGBA) for y = 0, 1, 2 ... in order, valid until the next call.
struct RgbaRows {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::function<const std::uint8_t*(std::uint32_t y)> rowAt;
};

// The rows of an image, read in place; the image must outlive them.
RgbaRows rowsOf(const RgbaImage& image);
// The same as packed pixels (alpha as the unused byte).
inline PackedPixels packedPixelsOf(const RgbaImage& image) {
    return {image.pixels.data(), image.width, image.height, image.rowBytes(), PackedPixelOrder::rgbx};
}

// A rectangle of whole pixels inside an image.
struct PixelRect {
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    bool operator==(const PixelRect&) const = default;
};

// Copies the image's pixels into the canvas with its top-left corner at x, y
// (which may lie outside the canvas), replacing what was there; whatever falls
// outside the canvas is cut off.
void copyImageInto(RgbaImage& canvas, const RgbaImage& image, std::int64_t x, std::int64_t y);

// The bounds a decoder accepts before it allocates any pixel memory, so that a
// tiny hostile file declaring a huge size costs nothing.
struct ImageDecodeLimits {
    std::uint32_t maximumDimension = 16384;
    std::uint64_t maximumPixelCount = std::uint64_t{1} << 26;  // 64 Mi pixels, 256 MiB of RGBA
};

class ImagingError : public std::runtime_error {
public:
    enum class Case {
        invalidImage,       // the bytes are not a readable image of the expected format
        imageTooLarge,      // the image is larger than the decoder's limits
        invalidDimensions,  // a zero or unrepresentable width or height was asked for
        encodingFailed,     // the encoder library refused the image
        qrCodeTextTooLong,  // the text does not fit in the largest QR code
    };

    ImagingError(Case errorCase, const std::string& detail);

    Case errorCase() const { return case_; }

private:
    Case case_;
};

// Throws imageTooLarge when a declared size exceeds the limits and
// invalidDimensions when it is empty; decoders call it before allocating.
void checkDecodedImageSize(std::uint32_t width, std::uint32_t height, const ImageDecodeLimits& limits);

}  // namespace zentrabo::platform
