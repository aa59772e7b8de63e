#pragma once
// A captured source made into a frame of a stream configuration's size, the
// same way whatever desktop captured it.
#include <cstdint>
#include <functional>

#include "platform/desktop/capture_stream.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Stretches an image to width x height.
using ImageResizer = std::function<RgbaImage(const RgbaImage& image, std::uint32_t width, std::uint32_t height)>;

// As it is when the sizes agree; scaled with resize (proportions kept and
// centred on black when asked) when the configuration scales to fit; else
// placed at the top-left of a black frame and cut.
RgbaImage fitToConfiguration(RgbaImage source, const StreamConfiguration& configuration, const ImageResizer& resize);

}  // namespace zentrabo::platform
