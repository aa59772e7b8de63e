#pragma once
// Gives an X display's root window the first picture of ScreenLikeFrames
// (gradients, windows, lines of glyphs) as its background, so a bench
// captures and compresses what a desktop looks like rather than a flat
// colour. Kept while the object lives.
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "screen_like_frames.hpp"

namespace zentrabo::bench {

class ScreenLikeX11Background {
public:
    // Does nothing when the display cannot be reached or is not 24-bit.
    explicit ScreenLikeX11Background(const std::string& display) : connection_(xcb_connect(display.c_str(), nullptr)) {
        if (xcb_connection_has_error(connection_)) return;
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        if (screen->root_depth != 24) return;
        const int width = screen->width_in_pixels, height = screen->height_in_pixels;
        std::vector<std::uint8_t> pixels;
        ScreenLikeFrames({width, height}).draw(0, pixels);
        // RGBA to the server's BGRX.
        for (std::size_t at = 0; at + 3 < pixels.size(); at += 4) std::swap(pixels[at], pixels[at + 2]);
        const xcb_pixmap_t pixmap = xcb_generate_id(connection_);
        xcb_create_pixmap(connection_, screen->root_depth, pixmap, screen->root, static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(height));
        const xcb_gcontext_t context = xcb_generate_id(connection_);
        xcb_create_gc(connection_, context, pixmap, 0, nullptr);
        // Strips well under the core protocol's request size.
        constexpr int strip = 16;
        const std::size_t row = static_cast<std::size_t>(width) * 4;
        for (int top = 0; top < height; top += strip) {
            const int rows = std::min(strip, height - top);
            xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, context, static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(rows), 0, static_cast<std::int16_t>(top), 0, 24,
                          static_cast<std::uint32_t>(row * rows), &pixels[row * top]);
        }
        xcb_change_window_attributes(connection_, screen->root, XCB_CW_BACK_PIXMAP, &pixmap);
        xcb_clear_area(connection_, 0, screen->root, 0, 0, 0, 0);
        free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }
    ~ScreenLikeX11Background() { xcb_disconnect(connection_); }
    ScreenLikeX11Background(const ScreenLikeX11Background&) = delete;
    ScreenLikeX11Background& operator=(const ScreenLikeX11Background&) = delete;

private:
    xcb_connection_t* connection_;
};

}  // namespace zentrabo::bench
