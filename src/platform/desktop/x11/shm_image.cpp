#include "platform/desktop/x11/shm_image.hpp"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>

#include "platform/desktop/x11/x11_pixels.hpp"

namespace zentrabo::platform {

namespace {

// A System V segment attached in this process and on the X server for one
// picture, removed when the picture has been read.
class SharedSegment {
public:
    SharedSegment(X11Connection& connection, std::size_t size) : connection_(connection) {
        id_ = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id_ < 0) return;
        void* address = shmat(id_, nullptr, SHM_RDONLY);
        if (address == reinterpret_cast<void*>(-1)) return;
        address_ = static_cast<const std::uint8_t*>(address);
        segment_ = xcb_generate_id(connection.get());
        xcb_shm_attach(connection.get(), segment_, static_cast<std::uint32_t>(id_), 0);
    }
    ~SharedSegment() {
        if (address_) {
            xcb_shm_detach(connection_.get(), segment_);
            connection_.flush();
            shmdt(address_);
        }
        if (id_ >= 0) shmctl(id_, IPC_RMID, nullptr);
    }
    SharedSegment(const SharedSegment&) = delete;
    SharedSegment& operator=(const SharedSegment&) = delete;

    bool isAttached() const { return address_ != nullptr; }
    xcb_shm_seg_t segment() const { return segment_; }
    const std::uint8_t* bytes() const { return address_; }

private:
    X11Connection& connection_;
    int id_ = -1;
    const std::uint8_t* address_ = nullptr;
    xcb_shm_seg_t segment_ = 0;
};

bool hasShm(X11Connection& connection) {
    const auto version = connection.reply<xcb_shm_query_version_reply_t>(xcb_shm_query_version(connection.get()));
    return version != nullptr;
}

}  // namespace

std::optional<RgbaImage> imageThroughShm(X11Connection& connection, xcb_drawable_t drawable, const PixelRect& area,
                                         std::uint32_t drawableWidth, std::uint32_t drawableHeight) {
    const std::uint32_t right = std::min<std::uint32_t>(area.x + area.width, drawableWidth);
    const std::uint32_t bottom = std::min<std::uint32_t>(area.y + area.height, drawableHeight);
    if (area.x >= right || area.y >= bottom) return std::nullopt;
    const std::uint32_t width = right - area.x;
    const std::uint32_t height = bottom - area.y;
    if (width > maximumCaptureSide || height > maximumCaptureSide) return std::nullopt;
    const auto layout = rootPixelLayout(connection);
    if (!layout || !hasShm(connection)) return std::nullopt;

    const std::size_t stride = std::size_t{width} * 4;
    SharedSegment segment(connection, stride * height);
    if (!segment.isAttached()) return std::nullopt;
    const auto image = connection.reply<xcb_shm_get_image_reply_t>(
        xcb_shm_get_image(connection.get(), drawable, static_cast<std::int16_t>(area.x),
                          static_cast<std::int16_t>(area.y), static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment.segment(), 0));
    if (!image || image->size < stride * height) return std::nullopt;
    return rgbaFromPixels(segment.bytes(), width, height, stride, *layout);
}

std::optional<RgbaImage> rootImageThroughShm(X11Connection& connection, const PixelRect& area) {
    const xcb_screen_t& screen = connection.screen();
    return imageThroughShm(connection, connection.root(), area, screen.width_in_pixels, screen.height_in_pixels);
}

}  // namespace zentrabo::platform
