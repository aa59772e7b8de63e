#pragma once
// The root window's pixel layout, and 32-bit pixels of a layout read in
// place: turned into RGBA, or handed on in their own byte order.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/imaging/image.hpp"
#include "platform/imaging/packed_pixels.hpp"

namespace zentrabo::platform {

// A 32-bit true-colour pixel: where each 8-bit channel sits in the value, and
// the order of its bytes in memory.
struct PixelLayout {
    unsigned redShift = 16;
    unsigned greenShift = 8;
    unsigned blueShift = 0;
    bool mostSignificantByteFirst = false;
};

// The layout of RgbaImage's pixels: red, green, blue, alpha in memory.
inline constexpr PixelLayout rgbaLayout{0, 8, 16, false};

// The layout of the root window's ZPixmap images; none for a depth or visual
// other than 8-bit channels in 32-bit pixels.
std::optional<PixelLayout> rootPixelLayout(const X11Connection& connection);

// width x height pixels of a layout, rows stride bytes apart, in memory the
// viewer may draw over.
struct X11Pixels {
    std::uint8_t* data = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t stride = 0;
    PixelLayout layout;
};

// The pixels of an image, in place.
X11Pixels pixelsOf(RgbaImage& image);

// Where a channel's byte (the one at shift in the value) lies in a pixel.
std::size_t channelByte(const PixelLayout& layout, unsigned shift);

// Opaque RGBA of the pixels.
RgbaImage rgbaFromPixels(const X11Pixels& pixels);

// The pixels as they are, for a layout whose bytes run in one of the packed
// orders; none for another.
std::optional<PackedPixels> packedPixels(const X11Pixels& pixels);

}  // namespace zentrabo::platform
