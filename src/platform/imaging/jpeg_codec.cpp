#include "platform/imaging/jpeg_codec.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace zentrabo::platform {

namespace {

class TurboJpegHandle {
public:
    explicit TurboJpegHandle(bool compressor) : handle_(compressor ? tjInitCompress() : tjInitDecompress()) {
        if (handle_ == nullptr) throw ImagingError(ImagingError::Case::encodingFailed, tjGetErrorStr2(nullptr));
    }
    ~TurboJpegHandle() { tjDestroy(handle_); }
    TurboJpegHandle(const TurboJpegHandle&) = delete;
    TurboJpegHandle& operator=(const TurboJpegHandle&) = delete;

    tjhandle get() const { return handle_; }
    std::string message() const { return tjGetErrorStr2(handle_); }

private:
    tjhandle handle_;
};

// Maps the 0.0 ... 1.0 quality of the callers to libjpeg's 1 ... 100 scale.
int libjpegQuality(double quality) {
    if (!(quality >= 0.0)) quality = 0.0;  // also catches NaN
    quality = std::min(quality, 1.0);
    return std::clamp(static_cast<int>(std::lround(quality * 100.0)), 1, 100);
}

}  // namespace

bool isJpeg(std::span<const std::uint8_t> data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

std::vector<std::uint8_t> encodeJpeg(const RgbaImage& image, double quality) {
    constexpr auto maximumSide = static_cast<std::uint32_t>(std::numeric_limits<int>::max() / RgbaImage::bytesPerPixel);
    if (image.width == 0 || image.height == 0 || image.width > maximumSide || image.height > maximumSide ||
        image.pixels.size() != image.rowBytes() * image.height) {
        throw ImagingError(ImagingError::Case::invalidDimensions, "");
    }
    TurboJpegHandle compressor(true);
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int status = tjCompress2(compressor.get(), image.pixels.data(), static_cast<int>(image.width), 0,
                                   static_cast<int>(image.height), TJPF_RGBA, &jpeg, &jpegSize, TJSAMP_420,
                                   libjpegQuality(quality), TJFLAG_ACCURATEDCT);
    if (status != 0) {
        tjFree(jpeg);
        throw ImagingError(ImagingError::Case::encodingFailed, compressor.message());
    }
    std::vector<std::uint8_t> output(jpeg, jpeg + jpegSize);
    tjFree(jpeg);
    return output;
}

RgbaImage decodeJpeg(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    if (!isJpeg(data) || data.size() > std::numeric_limits<unsigned long>::max()) {
        throw ImagingError(ImagingError::Case::invalidImage, "not a JPEG");
    }
    TurboJpegHandle decompressor(false);
    int width = 0;
    int height = 0;
    int subsampling = 0;
    int colourspace = 0;
    if (tjDecompressHeader3(decompressor.get(), data.data(), static_cast<unsigned long>(data.size()), &width, &height,
                            &subsampling, &colourspace) != 0) {
        throw ImagingError(ImagingError::Case::invalidImage, decompressor.message());
    }
    if (width <= 0 || height <= 0) throw ImagingError(ImagingError::Case::invalidImage, "empty image");
    checkDecodedImageSize(static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height), limits);

    RgbaImage image;
    image.width = static_cast<std::uint32_t>(width);
    image.height = static_cast<std::uint32_t>(height);
    image.pixels.resize(image.rowBytes() * image.height);
    // A truncated or slightly damaged file still decodes with a warning, as
    // image viewers show it; only fatal errors fail.
    if (tjDecompress2(decompressor.get(), data.data(), static_cast<unsigned long>(data.size()), image.pixels.data(),
                      width, 0, height, TJPF_RGBA, TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(decompressor.get()) == TJERR_FATAL) {
        throw ImagingError(ImagingError::Case::invalidImage, decompressor.message());
    }
    return image;
}

}  // namespace zentrabo::platform
