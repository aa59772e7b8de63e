// Encoding JPEG files through libjpeg's scanline interface, which takes the
// picture a row at a time: a picture composed of others (all displays side
// by side) is encoded without ever existing whole in memory.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <string>

// After <cstdio>: the header uses FILE and size_t without including them.
#include <jpeglib.h>

#include "platform/imaging/jpeg_codec.hpp"

namespace zentrabo::platform {

namespace {

// Maps the 0.0 ... 1.0 quality of the callers to libjpeg's 1 ... 100 scale.
int libjpegQuality(double quality) {
    if (!(quality >= 0.0)) quality = 0.0;  // also catches NaN
    quality = std::min(quality, 1.0);
    return std::clamp(static_cast<int>(std::lround(quality * 100.0)), 1, 100);
}

// libjpeg reports a failure by calling error_exit, which must not return:
// it jumps back to compressRows with the message kept here.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void jumpOut(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void ignoreMessage(j_common_ptr, int) {}

// Everything libjpeg touches, owned by encodeJpeg's frame so that its values
// are well defined after a jump back.
struct Compression {
    jpeg_compress_struct info{};
    ErrorManager errors{};
    unsigned char* output = nullptr;
    unsigned long size = 0;

    Compression() = default;
    Compression(const Compression&) = delete;
    Compression& operator=(const Compression&) = delete;
    ~Compression() {
        jpeg_destroy_compress(&info);
        std::free(output);
    }
};

// libjpeg-turbo's colour space for each byte order; the unused byte is
// skipped as alpha would be.
J_COLOR_SPACE colourSpaceOf(PackedPixelOrder order) {
    switch (order) {
    case PackedPixelOrder::rgbx:
        return JCS_EXT_RGBX;
    case PackedPixelOrder::bgrx:
        return JCS_EXT_BGRX;
    case PackedPixelOrder::xrgb:
        return JCS_EXT_XRGB;
    case PackedPixelOrder::xbgr:
        return JCS_EXT_XBGR;
    }
    return JCS_EXT_RGBX;
}

// Runs the whole compression; false when libjpeg failed. Between the setjmp
// and any jump back there is nothing with a destructor in this frame.
bool compressRows(Compression& compression, const RgbaRows& picture, J_COLOR_SPACE colourSpace, int quality) {
    jpeg_compress_struct& info = compression.info;
    info.err = jpeg_std_error(&compression.errors.base);
    compression.errors.base.error_exit = jumpOut;
    compression.errors.base.emit_message = ignoreMessage;
    if (setjmp(compression.errors.jump) != 0) return false;
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &compression.output, &compression.size);
    info.image_width = picture.width;
    info.image_height = picture.height;
    info.input_components = 4;
    info.in_color_space = colourSpace;
    // The defaults sample chroma at half the resolution both ways (4:2:0).
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&info, TRUE);
    for (std::uint32_t y = 0; y < picture.height; ++y) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.rowAt(y));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return true;
}

std::vector<std::uint8_t> encodeRows(const RgbaRows& picture, J_COLOR_SPACE colourSpace, double quality) {
    if (picture.width == 0 || picture.height == 0 || picture.width > maximumJpegDimension ||
        picture.height > maximumJpegDimension || !picture.rowAt) {
        throw ImagingError(ImagingError::Case::invalidDimensions,
                           std::to_string(picture.width) + " x " + std::to_string(picture.height) + " pixels");
    }
    Compression compression;
    if (!compressRows(compression, picture, colourSpace, libjpegQuality(quality))) {
        throw ImagingError(ImagingError::Case::encodingFailed, compression.errors.message);
    }
    return std::vector<std::uint8_t>(compression.output, compression.output + compression.size);
}

}  // namespace

std::vector<std::uint8_t> encodeJpeg(const RgbaRows& picture, double quality) {
    return encodeRows(picture, JCS_EXT_RGBA, quality);
}

std::vector<std::uint8_t> encodeJpeg(const PackedPixels& picture, double quality) {
    const bool hasPixels = picture.width == 0 || picture.height == 0 ||
                           (picture.data != nullptr && picture.stride >= std::size_t{picture.width} * 4);
    if (!hasPixels) {
        throw ImagingError(ImagingError::Case::invalidDimensions, "pixels do not match the size");
    }
    const RgbaRows rows{picture.width, picture.height,
                        [&picture](std::uint32_t y) { return picture.data + y * picture.stride; }};
    return encodeRows(rows, colourSpaceOf(picture.order), quality);
}

std::vector<std::uint8_t> encodeJpeg(const RgbaImage& image, double quality) {
    if (image.pixels.size() != image.rowBytes() * image.height) {
        throw ImagingError(ImagingError::Case::invalidDimensions, "pixels do not match the size");
    }
    return encodeJpeg(rowsOf(image), quality);
}

}  // namespace zentrabo::platform
