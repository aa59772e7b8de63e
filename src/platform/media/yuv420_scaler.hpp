#pragma once
// Draws packed pictures into the planar 4:2:0 YUV pictures video encoders
// take, converting and scaling in one swscale pass: BT.709 coefficients,
// limited (studio) range. The swscale context of the last sizes and pixel
// order is kept, since a stream draws every frame alike.
#include <cstdint>

#include "platform/imaging/image.hpp"
#include "platform/media/av_handles.hpp"
#include "platform/imaging/packed_pixels.hpp"

namespace zentrabo::platform {

class Yuv420Scaler {
public:
    // Draws the whole source stretched over the area of the yuv420p
    // picture, and the rest of the picture black; the area's left and top
    // must be even, as the half-size colour planes start on whole samples.
    // Throws MediaError when swscale refuses the sizes.
    void draw(const PackedPixels& source, AVFrame& picture, const PixelRect& area);

private:
    SwsContextPtr context_;
    PackedPixelOrder order_ = PackedPixelOrder::rgbx;
    std::uint32_t sourceWidth_ = 0;
    std::uint32_t sourceHeight_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

}  // namespace zentrabo::platform
