#pragma once
// Pictures of a connection's windows and pixmaps taken through MIT-SHM: the X
// server writes the pixels straight into a shared segment, which saves the
// copy through the socket that a plain GetImage makes. One segment is kept
// from picture to picture, since making, attaching and first touching a
// display-sized segment costs more than the picture itself; it is made anew
// only when a picture needs more room than it has or the connection was made
// anew, and let go with the reader. A picture is either read in place in
// the segment, valid until the next one, or converted out of it into an
// image of its own. Not thread-safe, like the connection it uses.
#include <memory>
#include <optional>

#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_pixels.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The largest side captured; larger requests are refused.
inline constexpr std::uint32_t maximumCaptureSide = 16384;

class ShmImageReader {
public:
    // The connection must outlive the reader.
    explicit ShmImageReader(X11Connection& connection);
    ~ShmImageReader();
    ShmImageReader(const ShmImageReader&) = delete;
    ShmImageReader& operator=(const ShmImageReader&) = delete;

    // A drawable's pixels in the rectangle (cut to the drawable's size), in
    // the segment as the server wrote them, until the next picture; none
    // when the server has no MIT-SHM, the pixel layout is not 32-bit true
    // colour, the rectangle is empty, the drawable is gone or the server
    // does not answer.
    std::optional<X11Pixels> pixels(xcb_drawable_t drawable, const PixelRect& area, std::uint32_t drawableWidth,
                                    std::uint32_t drawableHeight);
    // The root window's pixels in the rectangle (cut to the root), as above.
    std::optional<X11Pixels> rootPixels(const PixelRect& area);
    // The same pictures as opaque RGBA images of their own.
    std::optional<RgbaImage> image(xcb_drawable_t drawable, const PixelRect& area, std::uint32_t drawableWidth,
                                   std::uint32_t drawableHeight);
    std::optional<RgbaImage> rootImage(const PixelRect& area);

private:
    class Segment;
    // A segment of at least the size on the current connection; none when
    // the server has no MIT-SHM or the segment cannot be made.
    Segment* segmentOf(std::size_t size);

    X11Connection& connection_;
    std::unique_ptr<Segment> segment_;
};

}  // namespace zentrabo::platform
