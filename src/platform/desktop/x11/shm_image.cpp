#include "platform/desktop/x11/shm_image.hpp"

#include <xcb/shm.h>

#include <algorithm>

#include "platform/desktop/x11/x11_pixels.hpp"

namespace zentrabo::platform {

ShmImageReader::ShmImageReader(X11Connection& connection, std::shared_ptr<ShmSegmentShare> share)
    : connection_(connection), share_(std::move(share)) {
    share_->join();
}

ShmImageReader::~ShmImageReader() {
    detach();
    share_->leave();
}

void ShmImageReader::detach() {
    // A connection made anew never knew the segment; the old one took its
    // attachment with it.
    if (attachment_ && attachment_->opening == connection_.opening() && !connection_.isBroken()) {
        xcb_shm_detach(connection_.get(), attachment_->segment);
        connection_.flush();
    }
    attachment_.reset();
}

std::optional<std::pair<ShmSegmentShare::Memory, xcb_shm_seg_t>> ShmImageReader::segmentOf(std::size_t size) {
    const auto memory = share_->memoryOf(size);
    if (!memory) return std::nullopt;
    if (attachment_ && attachment_->opening == connection_.opening() && attachment_->generation == memory->generation) {
        return std::pair{*memory, attachment_->segment};
    }
    detach();
    const auto version = connection_.reply<xcb_shm_query_version_reply_t>(xcb_shm_query_version(connection_.get()));
    if (!version) return std::nullopt;
    const xcb_shm_seg_t segment = xcb_generate_id(connection_.get());
    xcb_shm_attach(connection_.get(), segment, static_cast<std::uint32_t>(memory->id), 0);
    attachment_ = Attachment{connection_.opening(), memory->generation, segment};
    return std::pair{*memory, segment};
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
    const auto segment = segmentOf(stride * height);
    if (!segment) return std::nullopt;
    const auto image = connection_.reply<xcb_shm_get_image_reply_t>(
        xcb_shm_get_image(connection_.get(), drawable, static_cast<std::int16_t>(area.x),
                          static_cast<std::int16_t>(area.y), static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(height), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment->second, 0));
    if (!image || image->size < stride * height) return std::nullopt;
    share_->markRemoved();
    return X11Pixels{segment->first.bytes, width, height, stride, *layout};
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
