#pragma once
// A picture of four bytes a pixel, one of them unused (or opaque alpha), read
// in place: what an X server's images and RGBA images both are.
#include <cstddef>
#include <cstdint>

namespace zentrabo::platform {

// The bytes of one pixel in memory, first to last; x is the unused byte.
enum class PackedPixelOrder { rgbx, bgrx, xrgb, xbgr };

struct PackedPixels {
    const std::uint8_t* data = nullptr;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::size_t stride = 0;  // bytes from one row to the next
    PackedPixelOrder order = PackedPixelOrder::rgbx;
};

}  // namespace zentrabo::platform
