#include "platform/desktop/x11/x11_pixels.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace zentrabo::platform {

namespace {

std::optional<unsigned> byteShift(std::uint32_t mask) {
    for (unsigned shift = 0; shift <= 24; shift += 8) {
        if (mask == 0xFFu << shift) return shift;
    }
    return std::nullopt;
}

const xcb_visualtype_t* rootVisual(const xcb_screen_t& screen) {
    for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen.root_visual) return visuals.data;
        }
    }
    return nullptr;
}

// Blue, green, red, unused in memory: the layout nearly every X server has.
void rgbaFromBgrx(const X11Pixels& pixels, std::uint8_t* out) {
    for (std::uint32_t y = 0; y < pixels.height; ++y) {
        const std::uint8_t* in = pixels.data + y * pixels.stride;
        for (std::uint32_t x = 0; x < pixels.width; ++x, in += 4, out += 4) {
            // Whole 32-bit words, so the compiler makes vector code of it.
            std::uint32_t value;
            std::memcpy(&value, in, 4);
            value = (value & 0x0000FF00u) | (value & 0xFFu) << 16 | (value >> 16 & 0xFFu) | 0xFF000000u;
            std::memcpy(out, &value, 4);
        }
    }
}

}  // namespace

std::optional<PixelLayout> rootPixelLayout(const X11Connection& connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection.get());
    const xcb_screen_t& screen = connection.screen();
    std::optional<std::uint8_t> bitsPerPixel;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == screen.root_depth) bitsPerPixel = formats.data->bits_per_pixel;
    }
    const xcb_visualtype_t* visual = rootVisual(screen);
    if (bitsPerPixel != 32 || !visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR) return std::nullopt;
    const auto red = byteShift(visual->red_mask);
    const auto green = byteShift(visual->green_mask);
    const auto blue = byteShift(visual->blue_mask);
    if (!red || !green || !blue) return std::nullopt;
    return PixelLayout{*red, *green, *blue, setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST};
}

X11Pixels pixelsOf(RgbaImage& image) {
    return X11Pixels{image.pixels.data(), image.width, image.height, image.rowBytes(), rgbaLayout};
}

std::size_t channelByte(const PixelLayout& layout, unsigned shift) {
    return layout.mostSignificantByteFirst ? 3 - shift / 8 : shift / 8;
}

RgbaImage rgbaFromPixels(const X11Pixels& pixels) {
    RgbaImage image;
    image.width = pixels.width;
    image.height = pixels.height;
    image.pixels.resize(image.rowBytes() * pixels.height);
    const PixelLayout& layout = pixels.layout;
    const std::size_t red = channelByte(layout, layout.redShift);
    const std::size_t green = channelByte(layout, layout.greenShift);
    const std::size_t blue = channelByte(layout, layout.blueShift);
    if (std::endian::native == std::endian::little && red == 2 && green == 1 && blue == 0) {
        rgbaFromBgrx(pixels, image.pixels.data());
        return image;
    }
    std::uint8_t* out = image.pixels.data();
    for (std::uint32_t y = 0; y < pixels.height; ++y) {
        const std::uint8_t* in = pixels.data + y * pixels.stride;
        for (std::uint32_t x = 0; x < pixels.width; ++x, in += 4, out += 4) {
            out[0] = in[red];
            out[1] = in[green];
            out[2] = in[blue];
            out[3] = 0xFF;
        }
    }
    return image;
}

std::optional<PackedPixels> packedPixels(const X11Pixels& pixels) {
    const PixelLayout& layout = pixels.layout;
    const std::array<std::size_t, 3> bytes{channelByte(layout, layout.redShift), channelByte(layout, layout.greenShift),
                                           channelByte(layout, layout.blueShift)};
    std::optional<PackedPixelOrder> order;
    if (bytes == std::array<std::size_t, 3>{0, 1, 2}) order = PackedPixelOrder::rgbx;
    if (bytes == std::array<std::size_t, 3>{2, 1, 0}) order = PackedPixelOrder::bgrx;
    if (bytes == std::array<std::size_t, 3>{1, 2, 3}) order = PackedPixelOrder::xrgb;
    if (bytes == std::array<std::size_t, 3>{3, 2, 1}) order = PackedPixelOrder::xbgr;
    if (!order) return std::nullopt;
    return PackedPixels{pixels.data, pixels.width, pixels.height, pixels.stride, *order};
}

}  // namespace zentrabo::platform
