#include "platform/imaging/tiff_codec.hpp"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "platform/imaging/image_orientation.hpp"

namespace zentrabo::platform {

namespace {

// The most libtiff may allocate at once for strips, tiles and tag arrays: a
// file claiming more is refused instead of filling memory.
constexpr tmsize_t maximumSingleAllocation = tmsize_t{256} << 20;

// The file's bytes as libtiff reads them: a read-only cursor over memory.
struct MemoryFile {
    std::span<const std::uint8_t> bytes;
    std::uint64_t position = 0;
    std::string lastError;
};

tmsize_t readBytes(thandle_t handle, void* buffer, tmsize_t size) {
    auto& file = *static_cast<MemoryFile*>(handle);
    if (size < 0 || file.position >= file.bytes.size()) return 0;
    const auto count = std::min<std::uint64_t>(static_cast<std::uint64_t>(size), file.bytes.size() - file.position);
    std::memcpy(buffer, file.bytes.data() + file.position, count);
    file.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) { return -1; }

toff_t seekTo(thandle_t handle, toff_t offset, int whence) {
    auto& file = *static_cast<MemoryFile*>(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = file.position;
    if (whence == SEEK_END) base = file.bytes.size();
    // libtiff passes negative relative offsets as their two's complement.
    const std::uint64_t target = base + offset;
    if (target > file.bytes.size()) return static_cast<toff_t>(-1);
    file.position = target;
    return target;
}

int closeFile(thandle_t) { return 0; }
toff_t fileSize(thandle_t handle) { return static_cast<MemoryFile*>(handle)->bytes.size(); }
int refuseMap(thandle_t, void**, toff_t*) { return 0; }
void unmapNothing(thandle_t, void*, toff_t) {}

// Keeps libtiff's messages off standard error; the last error becomes the
// detail of the ImagingError.
int recordError(TIFF*, void* userData, const char*, const char* format, va_list arguments) {
    char text[256];
    std::vsnprintf(text, sizeof text, format, arguments);
    static_cast<MemoryFile*>(userData)->lastError = text;
    return 1;
}

int ignoreWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct CloseTiff {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

struct FreeOptions {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

std::uint8_t unpremultiplied(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (channel * 255 + alpha / 2) / alpha));
}

}  // namespace

bool isTiff(std::span<const std::uint8_t> data) {
    return data.size() >= 4 && ((data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
                                (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42));
}

RgbaImage decodeTiff(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    if (!isTiff(data)) throw ImagingError(ImagingError::Case::invalidImage, "not a TIFF");
    MemoryFile file{data, 0, {}};
    std::unique_ptr<TIFFOpenOptions, FreeOptions> options(TIFFOpenOptionsAlloc());
    if (!options) throw ImagingError(ImagingError::Case::invalidImage, "no memory for the decoder");
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), maximumSingleAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), recordError, &file);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), ignoreWarning, nullptr);
    // "m": never map the file; the bytes are already in memory.
    std::unique_ptr<TIFF, CloseTiff> tiff(TIFFClientOpenExt("image", "rm", &file, readBytes, refuseWrite, seekTo,
                                                            closeFile, fileSize, refuseMap, unmapNothing,
                                                            options.get()));
    if (!tiff) throw ImagingError(ImagingError::Case::invalidImage, file.lastError);

    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) != 1 ||
        TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) != 1) {
        throw ImagingError(ImagingError::Case::invalidImage, "no image size");
    }
    checkDecodedImageSize(width, height, limits);
    std::uint16_t orientationTag = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_ORIENTATION, &orientationTag);
    const ImageOrientation orientation = imageOrientation(orientationTag).value_or(ImageOrientation::topLeft);

    // Asking for the file's own orientation makes libtiff lay the rows out as
    // stored, top row first; the turn upright is ours, because libtiff only
    // mirrors the four orientations that need a quarter turn.
    RgbaImage image(width, height);
    auto* raster = reinterpret_cast<std::uint32_t*>(image.pixels.data());
    if (TIFFReadRGBAImageOriented(tiff.get(), width, height, raster, static_cast<int>(orientation), 1) != 1) {
        throw ImagingError(ImagingError::Case::invalidImage, file.lastError);
    }
    // libtiff packs each pixel as one 32-bit word with premultiplied alpha;
    // ours are bytes in the order red, green, blue, alpha, not premultiplied.
    for (std::size_t offset = 0; offset < image.pixels.size(); offset += RgbaImage::bytesPerPixel) {
        std::uint32_t word = 0;
        std::memcpy(&word, image.pixels.data() + offset, sizeof word);
        const std::uint32_t alpha = TIFFGetA(word);
        std::uint8_t* pixel = image.pixels.data() + offset;
        pixel[3] = static_cast<std::uint8_t>(alpha);
        if (alpha == 255) {
            pixel[0] = static_cast<std::uint8_t>(TIFFGetR(word));
            pixel[1] = static_cast<std::uint8_t>(TIFFGetG(word));
            pixel[2] = static_cast<std::uint8_t>(TIFFGetB(word));
        } else if (alpha == 0) {
            pixel[0] = pixel[1] = pixel[2] = 0;
        } else {
            pixel[0] = unpremultiplied(TIFFGetR(word), alpha);
            pixel[1] = unpremultiplied(TIFFGetG(word), alpha);
            pixel[2] = unpremultiplied(TIFFGetB(word), alpha);
        }
    }
    return uprightImage(std::move(image), orientation);
}

}  // namespace zentrabo::platform
