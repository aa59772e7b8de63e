#pragma once
// A captured source made into a frame of a stream configuration's size, the
// same way whatever desktop captured it: as RGBA, or drawn straight into an
// encoder's 4:2:0 picture.
#include <cstdint>
#include <functional>

#include "platform/desktop/capture_stream.hpp"
#include "platform/imaging/image.hpp"
#include "platform/imaging/packed_pixels.hpp"
#include "platform/media/yuv420_scaler.hpp"

namespace zentrabo::platform {

// Where a source goes in a frame: the part of the source shown, stretched
// over the frame's area; the rest of the frame is black.
struct FramePlacement {
    PixelRect source;
    PixelRect frame;
};

// The whole source stretched over the frame when the configuration scales
// to fit (proportions kept and centred when asked, the left and top rounded
// down to a multiple of `alignment`); else the source as it is at the
// frame's top-left, cut where it does not fit.
FramePlacement placeInFrame(std::uint32_t sourceWidth, std::uint32_t sourceHeight,
                            const StreamConfiguration& configuration, std::uint32_t alignment = 1);

// Stretches an image to width x height.
using ImageResizer = std::function<RgbaImage(const RgbaImage& image, std::uint32_t width, std::uint32_t height)>;

// As it is when the sizes agree; else placed by placeInFrame on black, with
// resize stretching it.
RgbaImage fitToConfiguration(RgbaImage source, const StreamConfiguration& configuration, const ImageResizer& resize);

// The source placed by placeInFrame into the yuv420p picture, which has the
// configuration's size; converted and scaled in one pass. Throws MediaError.
void fitIntoYuv420(const PackedPixels& source, const StreamConfiguration& configuration, Yuv420Scaler& scaler,
                   AVFrame& picture);

}  // namespace zentrabo::platform
