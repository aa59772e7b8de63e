#include "platform/desktop/x11/x11_pixels.hpp"

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

RgbaImage rgbaFromPixels(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::size_t stride,
                         const PixelLayout& layout) {
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(image.rowBytes() * height);
    std::uint8_t* out = image.pixels.data();
    if (!layout.mostSignificantByteFirst && layout.redShift == 16 && layout.greenShift == 8 && layout.blueShift == 0) {
        // The usual layout, blue first in memory: a byte swap each pixel,
        // which the compiler turns into vector code.
        for (std::uint32_t y = 0; y < height; ++y) {
            const std::uint8_t* in = pixels + y * stride;
            for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
                out[3] = 0xFF;
            }
        }
        return image;
    }
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = pixels + y * stride;
        for (std::uint32_t x = 0; x < width; ++x, in += 4, out += 4) {
            const std::uint32_t value =
                layout.mostSignificantByteFirst
                    ? (std::uint32_t{in[0]} << 24 | std::uint32_t{in[1]} << 16 | std::uint32_t{in[2]} << 8 | in[3])
                    : (std::uint32_t{in[3]} << 24 | std::uint32_t{in[2]} << 16 | std::uint32_t{in[1]} << 8 | in[0]);
            out[0] = static_cast<std::uint8_t>(value >> layout.redShift);
            out[1] = static_cast<std::uint8_t>(value >> layout.greenShift);
            out[2] = static_cast<std::uint8_t>(value >> layout.blueShift);
            out[3] = 0xFF;
        }
    }
    return image;
}

}  // namespace zentrabo::platform
