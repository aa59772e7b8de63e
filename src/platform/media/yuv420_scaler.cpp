#include "platform/media/yuv420_scaler.hpp"

#include <cerrno>
#include <cstring>

#include "platform/media/media_error.hpp"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace zentrabo::platform {
namespace {

// swscale's brightness, contrast and saturation in 16.16 fixed point: unchanged.
constexpr int neutralBrightness = 0;
constexpr int neutralContrast = 1 << 16;
constexpr int neutralSaturation = 1 << 16;
// Limited-range black: luma 16, both colour differences at their middle.
constexpr std::uint8_t blackLuma = 16;
constexpr std::uint8_t neutralChroma = 128;

AVPixelFormat pixelFormatOf(PackedPixelOrder order) {
    switch (order) {
    case PackedPixelOrder::rgbx:
        return AV_PIX_FMT_RGB0;
    case PackedPixelOrder::bgrx:
        return AV_PIX_FMT_BGR0;
    case PackedPixelOrder::xrgb:
        return AV_PIX_FMT_0RGB;
    case PackedPixelOrder::xbgr:
        return AV_PIX_FMT_0BGR;
    }
    return AV_PIX_FMT_RGB0;
}

// Sets a plane's samples outside [left, right) x [top, bottom) to value.
void fillAround(std::uint8_t* plane, int lineSize, int width, int height, int left, int top, int right, int bottom,
                std::uint8_t value) {
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = plane + static_cast<std::ptrdiff_t>(y) * lineSize;
        if (y < top || y >= bottom) {
            std::memset(row, value, static_cast<std::size_t>(width));
            continue;
        }
        std::memset(row, value, static_cast<std::size_t>(left));
        std::memset(row + right, value, static_cast<std::size_t>(width - right));
    }
}

// Blackens the picture outside the area. swscale's vector code writes rows
// in whole blocks, a few samples past the area's right edge, so this comes
// after the drawing.
void blackenAround(AVFrame& picture, const PixelRect& area) {
    const int left = static_cast<int>(area.x);
    const int top = static_cast<int>(area.y);
    const int right = static_cast<int>(area.x + area.width);
    const int bottom = static_cast<int>(area.y + area.height);
    fillAround(picture.data[0], picture.linesize[0], picture.width, picture.height, left, top, right, bottom,
               blackLuma);
    // A colour sample half inside the area belongs to it.
    const int chromaWidth = (picture.width + 1) / 2;
    const int chromaHeight = (picture.height + 1) / 2;
    for (const int plane : {1, 2}) {
        fillAround(picture.data[plane], picture.linesize[plane], chromaWidth, chromaHeight, left / 2, top / 2,
                   (right + 1) / 2, (bottom + 1) / 2, neutralChroma);
    }
}

}  // namespace

void Yuv420Scaler::draw(const PackedPixels& source, AVFrame& picture, const PixelRect& area) {
    if (area.x % 2 != 0 || area.y % 2 != 0 || area.width == 0 || area.height == 0 ||
        area.x + area.width > static_cast<std::uint32_t>(picture.width) ||
        area.y + area.height > static_cast<std::uint32_t>(picture.height)) {
        throw MediaError(AVERROR(EINVAL));
    }
    if (!context_ || source.order != order_ || source.width != sourceWidth_ || source.height != sourceHeight_ ||
        area.width != width_ || area.height != height_) {
        // Area averaging keeps fine detail such as text legible when
        // shrinking; otherwise bilinear, which converts a picture of the
        // same size as cheaply as swscale can.
        const bool shrinks = area.width < source.width || area.height < source.height;
        context_.reset(sws_getContext(static_cast<int>(source.width), static_cast<int>(source.height),
                                      pixelFormatOf(source.order), static_cast<int>(area.width),
                                      static_cast<int>(area.height), AV_PIX_FMT_YUV420P,
                                      shrinks ? SWS_AREA : SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!context_) throw MediaError(AVERROR(EINVAL));
        // RGB is full range; the YUV side gets BT.709 in limited range. For
        // an RGB source only the destination's coefficients matter.
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        // swscale answers -1 rather than an error code when it refuses.
        if (sws_setColorspaceDetails(context_.get(), bt709, 1, bt709, 0, neutralBrightness, neutralContrast,
                                     neutralSaturation) < 0) {
            context_.reset();
            throw MediaError(AVERROR(EINVAL));
        }
        order_ = source.order;
        sourceWidth_ = source.width;
        sourceHeight_ = source.height;
        width_ = area.width;
        height_ = area.height;
    }
    const std::uint8_t* const sourcePlanes[] = {source.data};
    const int sourceStrides[] = {static_cast<int>(source.stride)};
    std::uint8_t* const planes[] = {
        picture.data[0] + static_cast<std::ptrdiff_t>(area.y) * picture.linesize[0] + area.x,
        picture.data[1] + static_cast<std::ptrdiff_t>(area.y / 2) * picture.linesize[1] + area.x / 2,
        picture.data[2] + static_cast<std::ptrdiff_t>(area.y / 2) * picture.linesize[2] + area.x / 2};
    const int strides[] = {picture.linesize[0], picture.linesize[1], picture.linesize[2]};
    sws_scale(context_.get(), sourcePlanes, sourceStrides, 0, static_cast<int>(source.height), planes, strides);
    if (area.width != static_cast<std::uint32_t>(picture.width) ||
        area.height != static_cast<std::uint32_t>(picture.height)) {
        blackenAround(picture, area);
    }
}

}  // namespace zentrabo::platform
