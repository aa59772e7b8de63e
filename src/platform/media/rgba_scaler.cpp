#include "platform/media/rgba_scaler.hpp"

#include <cerrno>

#include "platform/media/media_error.hpp"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace zentrabo::platform {

RgbaImage RgbaScaler::scale(const RgbaImage& image, std::uint32_t width, std::uint32_t height) {
    if (!context_ || image.width != sourceWidth_ || image.height != sourceHeight_ || width != width_ ||
        height != height_) {
        // Area averaging keeps fine detail such as text legible when shrinking.
        context_.reset(sws_getContext(static_cast<int>(image.width), static_cast<int>(image.height), AV_PIX_FMT_RGBA,
                                      static_cast<int>(width), static_cast<int>(height), AV_PIX_FMT_RGBA, SWS_AREA,
                                      nullptr, nullptr, nullptr));
        if (!context_) throw MediaError(AVERROR(EINVAL));
        sourceWidth_ = image.width;
        sourceHeight_ = image.height;
        width_ = width;
        height_ = height;
    }
    RgbaImage scaled(width, height);
    const std::uint8_t* const sourcePlanes[] = {image.pixels.data()};
    const int sourceStrides[] = {static_cast<int>(image.rowBytes())};
    std::uint8_t* const planes[] = {scaled.pixels.data()};
    const int strides[] = {static_cast<int>(scaled.rowBytes())};
    sws_scale(context_.get(), sourcePlanes, sourceStrides, 0, static_cast<int>(image.height), planes, strides);
    return scaled;
}

}  // namespace zentrabo::platform
