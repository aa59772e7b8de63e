#pragma once
// Scales RGBA pictures through swscale, keeping the scaling context of the
// last pair of sizes: a stream scales every frame from the same size to the
// same size.
#include <cstdint>

#include "platform/imaging/image.hpp"
#include "platform/media/av_handles.hpp"

namespace zentrabo::platform {

class RgbaScaler {
public:
    // The image stretched to width x height. Throws MediaError when swscale
    // refuses the sizes.
    RgbaImage scale(const RgbaImage& image, std::uint32_t width, std::uint32_t height);

private:
    SwsContextPtr context_;
    std::uint32_t sourceWidth_ = 0;
    std::uint32_t sourceHeight_ = 0;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
};

}  // namespace zentrabo::platform
