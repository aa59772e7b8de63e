// Decoding JPEG files through TurboJPEG, at full size or at one of its
// reduced scales.
#include "platform/imaging/jpeg_codec.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

namespace zentrabo::platform {

namespace {

class Decompressor {
public:
    Decompressor() : handle_(tjInitDecompress()) {
        if (handle_ == nullptr) throw ImagingError(ImagingError::Case::invalidImage, tjGetErrorStr2(nullptr));
    }
    ~Decompressor() { tjDestroy(handle_); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    tjhandle get() const { return handle_; }
    std::string message() const { return tjGetErrorStr2(handle_); }

private:
    tjhandle handle_;
};

// The size at the smallest scaling factor, at most 1, whose long side is
// still at least minimumLongSide; the full size when none is smaller.
std::pair<int, int> scaledSize(int width, int height, std::uint32_t minimumLongSide) {
    int factorCount = 0;
    const tjscalingfactor* factors = tjGetScalingFactors(&factorCount);
    std::pair<int, int> best{width, height};
    for (int index = 0; factors != nullptr && index < factorCount; ++index) {
        const tjscalingfactor factor = factors[index];
        if (factor.num > factor.denom) continue;
        const int scaledWidth = TJSCALED(width, factor);
        const int scaledHeight = TJSCALED(height, factor);
        const auto longSide = static_cast<std::uint32_t>(std::max(scaledWidth, scaledHeight));
        if (longSide >= minimumLongSide && longSide < static_cast<std::uint32_t>(std::max(best.first, best.second))) {
            best = {scaledWidth, scaledHeight};
        }
    }
    return best;
}

}  // namespace

bool isJpeg(std::span<const std::uint8_t> data) {
    return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

RgbaImage decodeJpeg(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    return decodeJpegScaled(data, std::numeric_limits<std::uint32_t>::max(), limits);
}

RgbaImage decodeJpegScaled(std::span<const std::uint8_t> data, std::uint32_t minimumLongSide,
                           const ImageDecodeLimits& limits) {
    if (!isJpeg(data) || data.size() > std::numeric_limits<unsigned long>::max()) {
        throw ImagingError(ImagingError::Case::invalidImage, "not a JPEG");
    }
    Decompressor decompressor;
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

    const auto [scaledWidth, scaledHeight] = scaledSize(width, height, minimumLongSide);
    RgbaImage image;
    image.width = static_cast<std::uint32_t>(scaledWidth);
    image.height = static_cast<std::uint32_t>(scaledHeight);
    image.pixels.resize(image.rowBytes() * image.height);
    // A truncated or slightly damaged file still decodes with a warning, as
    // image viewers show it; only fatal errors fail. The decoder picks the
    // scaling factor that gives exactly the size asked for.
    if (tjDecompress2(decompressor.get(), data.data(), static_cast<unsigned long>(data.size()), image.pixels.data(),
                      scaledWidth, 0, scaledHeight, TJPF_RGBA, TJFLAG_ACCURATEDCT | TJFLAG_LIMITSCANS) != 0 &&
        tjGetErrorCode(decompressor.get()) == TJERR_FATAL) {
        throw ImagingError(ImagingError::Case::invalidImage, decompressor.message());
    }
    return image;
}

}  // namespace zentrabo::platform
