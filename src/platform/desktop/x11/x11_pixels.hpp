#pragma once
// The root window's pixel layout, and its pixels turned into RGBA.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// A 32-bit true-colour pixel: where each 8-bit channel sits in the value, and
// the order of its bytes in memory.
struct PixelLayout {
    unsigned redShift = 16;
    unsigned greenShift = 8;
    unsigned blueShift = 0;
    bool mostSignificantByteFirst = false;
};

// The layout of the root window's ZPixmap images; none for a depth or visual
// other than 8-bit channels in 32-bit pixels.
std::optional<PixelLayout> rootPixelLayout(const X11Connection& connection);

// Opaque RGBA of width x height pixels read from rows stride bytes apart.
RgbaImage rgbaFromPixels(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::size_t stride,
                         const PixelLayout& layout);

}  // namespace zentrabo::platform
