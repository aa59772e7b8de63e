#include "platform/imaging/png_codec.hpp"

#include <png.h>

#include <cstring>
#include <limits>

namespace zentrabo::platform {

namespace {

// libpng's simplified API reports failures through setjmp inside the library
// and leaves us only its message; this owner frees the reader on every path.
class PngImage {
public:
    PngImage() {
        std::memset(&image_, 0, sizeof image_);
        image_.version = PNG_IMAGE_VERSION;
    }
    ~PngImage() { png_image_free(&image_); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    png_image* get() { return &image_; }
    png_image* operator->() { return &image_; }
    std::string message() const { return image_.message; }

private:
    png_image image_;
};

void checkEncodable(const RgbaImage& image) {
    if (image.width == 0 || image.height == 0 ||
        image.width > std::numeric_limits<png_int_32>::max() / RgbaImage::bytesPerPixel ||
        image.height > std::numeric_limits<png_int_32>::max()) {
        throw ImagingError(ImagingError::Case::invalidDimensions, "");
    }
    if (image.pixels.size() != image.rowBytes() * image.height) {
        throw ImagingError(ImagingError::Case::invalidDimensions, "pixel buffer does not match the size");
    }
}

}  // namespace

bool isPng(std::span<const std::uint8_t> data) { return data.size() >= 8 && png_sig_cmp(data.data(), 0, 8) == 0; }

std::vector<std::uint8_t> encodePng(const RgbaImage& image) {
    checkEncodable(image);
    PngImage png;
    png->width = image.width;
    png->height = image.height;
    png->format = PNG_FORMAT_RGBA;

    // Sized by libpng's worst-case bound, so one compression pass suffices.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(*png.get());
    std::vector<std::uint8_t> output(size);
    if (!png_image_write_to_memory(png.get(), output.data(), &size, 0, image.pixels.data(), 0, nullptr)) {
        throw ImagingError(ImagingError::Case::encodingFailed, png.message());
    }
    output.resize(size);
    return output;
}

RgbaImage decodePng(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    if (!isPng(data)) throw ImagingError(ImagingError::Case::invalidImage, "not a PNG");
    PngImage png;
    if (!png_image_begin_read_from_memory(png.get(), data.data(), data.size())) {
        throw ImagingError(ImagingError::Case::invalidImage, png.message());
    }
    checkDecodedImageSize(png->width, png->height, limits);
    png->format = PNG_FORMAT_RGBA;

    RgbaImage image;
    image.width = png->width;
    image.height = png->height;
    image.pixels.resize(image.rowBytes() * image.height);
    if (!png_image_finish_read(png.get(), nullptr, image.pixels.data(), 0, nullptr)) {
        throw ImagingError(ImagingError::Case::invalidImage, png.message());
    }
    return image;
}

}  // namespace zentrabo::platform
