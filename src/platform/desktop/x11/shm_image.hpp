#pragma once
// A picture of part of a window or pixmap taken through MIT-SHM: the X server
// writes the pixels straight into a shared segment, which saves the copy
// through the socket that a plain GetImage makes.
#include <optional>

#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The largest side captured; larger requests are refused.
inline constexpr std::uint32_t maximumCaptureSide = 16384;

// A drawable's pixels in the rectangle (cut to the drawable's size) as
// opaque RGBA; none when the server has no MIT-SHM, the pixel layout is not
// 32-bit true colour, the rectangle is empty, the drawable is gone or the
// server does not answer.
std::optional<RgbaImage> imageThroughShm(X11Connection& connection, xcb_drawable_t drawable, const PixelRect& area,
                                         std::uint32_t drawableWidth, std::uint32_t drawableHeight);

// The root window's pixels in the rectangle (cut to the root) as opaque RGBA;
// none when the server has no MIT-SHM, its pixel layout is not 32-bit true
// colour, the rectangle is empty or the server does not answer.
std::optional<RgbaImage> rootImageThroughShm(X11Connection& connection, const PixelRect& area);

}  // namespace zentrabo::platform
