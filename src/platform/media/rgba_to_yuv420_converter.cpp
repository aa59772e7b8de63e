#include "platform/media/rgba_to_yuv420_converter.hpp"

#include <cerrno>
#include <stdexcept>

#include "platform/media/bt709_tags.hpp"
#include "platform/media/media_error.hpp"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace zentrabo::platform {
namespace {

constexpr int bytesPerRgbaPixel = 4;
// swscale's brightness, contrast and saturation in 16.16 fixed point: unchanged.
constexpr int neutralBrightness = 0;
constexpr int neutralContrast = 1 << 16;
constexpr int neutralSaturation = 1 << 16;

}  // namespace

RgbaToYuv420Converter::RgbaToYuv420Converter(int width, int height)
    : width_(width),
      height_(height),
      scaler_(sws_getContext(width, height, AV_PIX_FMT_RGBA, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr,
                             nullptr, nullptr)),
      picture_(av_frame_alloc()) {
    if (!scaler_) throw MediaError(AVERROR(EINVAL));
    if (!picture_) throw MediaError(AVERROR(ENOMEM));
    // RGB is full range; the YUV side gets BT.709 in limited range. For an
    // RGB source only the destination's coefficients matter.
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    // swscale answers -1 rather than an error code when it refuses.
    if (sws_setColorspaceDetails(scaler_.get(), bt709, 1, bt709, 0, neutralBrightness, neutralContrast,
                                 neutralSaturation) < 0) {
        throw MediaError(AVERROR(EINVAL));
    }
    picture_->format = AV_PIX_FMT_YUV420P;
    picture_->width = width;
    picture_->height = height;
    tagBt709LimitedRange(*picture_);
    throwIfMediaError(av_frame_get_buffer(picture_.get(), 0));
}

AVFrame& RgbaToYuv420Converter::convert(std::span<const std::uint8_t> rgba) {
    const int rowBytes = width_ * bytesPerRgbaPixel;
    if (rgba.size() != static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_)) {
        throw std::invalid_argument("RGBA pixels of another size than the converter's");
    }
    // An encoder may still hold the previous picture; it then gets a copy.
    throwIfMediaError(av_frame_make_writable(picture_.get()));
    const std::uint8_t* const sourcePlanes[] = {rgba.data()};
    const int sourceStrides[] = {rowBytes};
    sws_scale(scaler_.get(), sourcePlanes, sourceStrides, 0, height_, picture_->data, picture_->linesize);
    return *picture_;
}

}  // namespace zentrabo::platform
