#pragma once
// Turns RGBA pictures into the planar 4:2:0 YUV that video encoders take:
// BT.709 coefficients, limited (studio) range, the picture tagged to match.
#include <cstdint>
#include <span>

#include "platform/media/av_handles.hpp"
#include "platform/media/yuv420_scaler.hpp"

namespace zentrabo::platform {

class RgbaToYuv420Converter {
public:
    // Throws MediaError when the size is empty. The picture's memory is
    // taken on the first conversion.
    RgbaToYuv420Converter(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Converts width x height RGBA pixels, rows packed top to bottom, into
    // the converter's picture and returns it; it stays valid, and the
    // converter's, until the next call. Throws std::invalid_argument when
    // the byte count does not match the size, MediaError when swscale
    // refuses the size.
    AVFrame& convert(std::span<const std::uint8_t> rgba);

private:
    int width_;
    int height_;
    Yuv420Scaler scaler_;
    AvFramePtr picture_;
};

}  // namespace zentrabo::platform
