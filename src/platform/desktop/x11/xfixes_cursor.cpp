#include "platform/desktop/x11/xfixes_cursor.hpp"

#include <xcb/xfixes.h>

#include <algorithm>
#include <cstdint>

namespace zentrabo::platform {

namespace {

// Cursors are small; a larger one is no cursor to draw.
constexpr std::uint32_t maximumCursorSide = 256;

// One channel of premultiplied colour over an opaque one.
std::uint8_t over(std::uint32_t cursor, std::uint32_t alpha, std::uint8_t below) {
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(255, cursor + below * (255 - alpha) / 255));
}

}  // namespace

bool enableCursorImages(X11Connection& connection) {
    const auto version =
        connection.reply<xcb_xfixes_query_version_reply_t>(xcb_xfixes_query_version(connection.get(), 4, 0));
    return version && version->major_version >= 1;
}

void drawCursor(X11Connection& connection, const X11Pixels& picture, Point origin) {
    const auto cursor =
        connection.reply<xcb_xfixes_get_cursor_image_reply_t>(xcb_xfixes_get_cursor_image(connection.get()));
    if (!cursor || cursor->width > maximumCursorSide || cursor->height > maximumCursorSide) return;
    if (xcb_xfixes_get_cursor_image_cursor_image_length(cursor.get()) < int{cursor->width} * cursor->height) return;
    const std::uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(cursor.get());
    const auto left = static_cast<std::int64_t>(cursor->x - cursor->xhot - origin.x);
    const auto top = static_cast<std::int64_t>(cursor->y - cursor->yhot - origin.y);
    const PixelLayout& layout = picture.layout;
    const std::size_t red = channelByte(layout, layout.redShift);
    const std::size_t green = channelByte(layout, layout.greenShift);
    const std::size_t blue = channelByte(layout, layout.blueShift);
    for (std::int64_t row = 0; row < cursor->height; ++row) {
        const std::int64_t y = top + row;
        if (y < 0 || y >= picture.height) continue;
        for (std::int64_t column = 0; column < cursor->width; ++column) {
            const std::int64_t x = left + column;
            if (x < 0 || x >= picture.width) continue;
            // Premultiplied ARGB, one 32-bit value a pixel.
            const std::uint32_t value = argb[row * cursor->width + column];
            const std::uint32_t alpha = value >> 24;
            if (alpha == 0) continue;
            std::uint8_t* pixel = picture.data + static_cast<std::size_t>(y) * picture.stride + x * 4;
            pixel[red] = over((value >> 16) & 0xFF, alpha, pixel[red]);
            pixel[green] = over((value >> 8) & 0xFF, alpha, pixel[green]);
            pixel[blue] = over(value & 0xFF, alpha, pixel[blue]);
        }
    }
}

}  // namespace zentrabo::platform
