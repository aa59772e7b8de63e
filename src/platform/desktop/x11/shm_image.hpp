#pragma once
// Pictures of a connection's windows and pixmaps taken through MIT-SHM: the X
// server writes the pixels straight into a shared segment, which saves the
// copy through the socket that a plain GetImage makes. The segment is kept
// from picture to picture, since making, attaching and first touching a
// display-sized segment costs more than the picture itself; readers on other
// connections to the display may share it (ShmSegmentShare). A picture is
// taken and read with the reader held (hold()); it is read in place in the
// segment, valid until the next one, or converted out of it into an image of
// its own. Not thread-safe, like the connection it uses.
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include <xcb/shm.h>

#include "platform/desktop/x11/shm_segment_share.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_pixels.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The largest side captured; larger requests are refused.
inline constexpr std::uint32_t maximumCaptureSide = 16384;

class ShmImageReader {
public:
    // The connection must outlive the reader. The segment is its own unless
    // a share of the display is given.
    explicit ShmImageReader(X11Connection& connection,
                            std::shared_ptr<ShmSegmentShare> share = std::make_shared<ShmSegmentShare>());
    ~ShmImageReader();
    ShmImageReader(const ShmImageReader&) = delete;
    ShmImageReader& operator=(const ShmImageReader&) = delete;

    // Held from before a picture until its pixels have been read.
    [[nodiscard]] std::unique_lock<std::mutex> hold() { return share_->hold(); }

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
    // The share's memory as this connection's server knows it.
    struct Attachment {
        std::uint64_t opening = 0;
        std::uint64_t generation = 0;
        xcb_shm_seg_t segment = 0;
    };
    // Memory of at least the size, attached on the current connection; none
    // when the server has no MIT-SHM or the memory cannot be had.
    std::optional<std::pair<ShmSegmentShare::Memory, xcb_shm_seg_t>> segmentOf(std::size_t size);
    void detach();

    X11Connection& connection_;
    const std::shared_ptr<ShmSegmentShare> share_;
    std::optional<Attachment> attachment_;
};

}  // namespace zentrabo::platform
