#include "platform/desktop/x11/shm_image.hpp"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <algorithm>

#include "platform/desktop/x11/x11_pixels.hpp"

namespace zentrabo::platform {

// A System V segment attached in this process and on the X server. It is
// marked for removal once the server has used it, so the system frees it
// when both let go, even if this process is killed.
class ShmImageReader::Segment {
public:
    Segment(X11Connection& connection, std::size_t size)
        : connection_(connection), opening_(connection.opening()), size_(size) {
        id_ = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
        if (id_ < 0) return;
        // Writable: a cursor is drawn over a picture in place.
        void* address = shmat(id_, nullptr, 0);
        if (address == reinterpret_cast<void*>(-1)) return;
        address_ = static_cast<std::uint8_t*>(address);
        segment_ = xcb_generate_id(connection.get());
        xcb_shm_attach(connection.get(), segment_, static_cast<std::uint32_t>(id_), 0);
    }
    ~Segment() {
        // A connection made anew never knew this segment; the old one took
        // its attachment with it.
        if (address_ && isOnCurrentConnection() && !connection_.isBroken()) {
            xcb_shm_detach(connection_.get(), segment_);
            connection_.flush();
        }
        if (address_) shmdt(address_);
        markRemoved();
    }
    Segment(const Segment&) = delete;
    Segment& operator=(const Segment&) = delete;

    bool isAttached() const { return address_ != nullptr; }
    bool isOnCurrentConnection() const { return connection_.opening() == opening_; }
    std::size_t size() const { return size_; }
    xcb_shm_seg_t segment() const { return segment_; }
    std::uint8_t* bytes() const { return address_; }
    // Once the server has attached it: both attachments keep it alive.
    void markRemoved() {
        if (id_ >= 0) shmctl(id_, IPC_RMID, nullptr);
        id_ = -1;
    }

private:
    X11Connection& connection_;
    const std::uint64_t opening_;
    const std::size_t size_;
    int id_ = -1;
    std::uint8_t* address_ = nullptr;
    xcb_shm_seg_t segment_ = 0;
};

ShmImageReader::ShmImageReader(X11Connection& connection) : connection_(connection) {}

ShmImageReader::~ShmImageReader() = default;

ShmImageReader::Segment* ShmImageReader::segmentOf(std::size_t size) {
    if (segment_ && segment_->isOnCurrentConnection() && segment_->size() >= size) return segment_.get();
    segment_.reset();
    const auto version = connection_.reply<xcb_shm_query_version_reply_t>(xcb_shm_query_version(connection_.get()));
    if (!version) return nullptr;
    auto made = std::make_unique<Segment>(connection_, size);
    if (!made->isAttached()) return nullptr;
    segment_ = std::move(made);
    return segment_.get();
}

std::optional<X11Pixels> ShmImageReader::pixels(xcb_drawable_t drawable, const PixelRect& area,
                                                std::uint32_t drawableWidth, std::uint32_t drawableHeight) {
    const std::uint32_t right = std::min<std::uint32_t>(area.x + area.width, drawableWidth);
    const std::uint32_t bottom = std::min<std::uint32_t>(area.y + area.height, drawableHeight);
    if (area.x >= right || area.y >= bottom) return std::nullopt;
    const std::uint32_t width = right - area.x;
    const std::uint32_t height = bottom - area.y;
    if (width > maximumCaptureSide || height > maximumCaptureSide) return std::nullopt;
    const auto layout = rootPixelLayout(connection_);
    if (!layout) return std::nullopt;

    const std::size_t stride = std::size_t{width} * 4;
    Segment* segment = segmentOf(stride * height);
    if (!segment) return std::nullopt;
    const auto image = connection_.reply<xcb_shm_get_image_reply_t>(
        xcb_shm_get_image(connection_.get(), drawable, static_cast<std::int16_t>(area.x),
                          static_cast<std::int16_t>(area.y), static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment->segment(), 0));
    if (!image || image->size < stride * height) return std::nullopt;
    segment->markRemoved();
    return X11Pixels{segment->bytes(), width, height, stride, *layout};
}

std::optional<X11Pixels> ShmImageReader::rootPixels(const PixelRect& area) {
    const xcb_screen_t& screen = connection_.screen();
    return pixels(connection_.root(), area, screen.width_in_pixels, screen.height_in_pixels);
}

std::optional<RgbaImage> ShmImageReader::image(xcb_drawable_t drawable, const PixelRect& area,
                                               std::uint32_t drawableWidth, std::uint32_t drawableHeight) {
    const auto read = pixels(drawable, area, drawableWidth, drawableHeight);
    if (!read) return std::nullopt;
    return rgbaFromPixels(*read);
}

std::optional<RgbaImage> ShmImageReader::rootImage(const PixelRect& area) {
    const auto read = rootPixels(area);
    if (!read) return std::nullopt;
    return rgbaFromPixels(*read);
}

}  // namespace zentrabo::platform
