#include "platform/media/rgba_to_yuv420_converter.hpp"

#include <cerrno>
#include <stdexcept>

#include "platform/media/bt709_tags.hpp"
#include "platform/media/media_error.hpp"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

namespace zentrabo::platform {
namespace {

constexpr int bytesPerRgbaPixel = 4;

}  // namespace

RgbaToYuv420Converter::RgbaToYuv420Converter(int width, int height)
    : width_(width), height_(height), picture_(av_frame_alloc()) {
    if (width <= 0 || height <= 0) throw MediaError(AVERROR(EINVAL));
    if (!picture_) throw MediaError(AVERROR(ENOMEM));
    picture_->format = AV_PIX_FMT_YUV420P;
    picture_->width = width;
    picture_->height = height;
    tagBt709LimitedRange(*picture_);
}

AVFrame& RgbaToYuv420Converter::convert(std::span<const std::uint8_t> rgba) {
    const int rowBytes = width_ * bytesPerRgbaPixel;
    if (rgba.size() != static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height_)) {
        throw std::invalid_argument("RGBA pixels of another size than the converter's");
    }
    if (!picture_->buf[0]) {
        // Made on first use: a stream whose pictures come in the encoder's
        // format never needs it.
        throwIfMediaError(av_frame_get_buffer(picture_.get(), 0));
    } else {
        // An encoder may still hold the previous picture; it then gets a copy.
        throwIfMediaError(av_frame_make_writable(picture_.get()));
    }
    const auto width = static_cast<std::uint32_t>(width_);
    const auto height = static_cast<std::uint32_t>(height_);
    scaler_.draw(PackedPixels{rgba.data(), width, height, static_cast<std::size_t>(rowBytes), PackedPixelOrder::rgbx},
                 *picture_, PixelRect{0, 0, width, height});
    return *picture_;
}

}  // namespace zentrabo::platform
