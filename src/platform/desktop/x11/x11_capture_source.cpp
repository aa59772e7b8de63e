#include "platform/desktop/x11/x11_capture_source.hpp"

#include <algorithm>
#include <cstring>

#include "platform/desktop/x11/composite_frames.hpp"
#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/randr_monitors.hpp"
#include "platform/desktop/x11/xfixes_cursor.hpp"

namespace zentrabo::platform {

namespace {

// Opaque black, as RGBA bytes.
constexpr std::uint8_t blackPixel[RgbaImage::bytesPerPixel] = {0, 0, 0, 0xFF};

Rect monitorBounds(X11Connection& x, DisplayID display) {
    const auto monitors = readRandrMonitors(x);
    if (!monitors) throw captureContentUnavailable();
    const auto found = std::find_if(monitors->begin(), monitors->end(),
                                    [display](const RandrMonitor& monitor) { return monitor.id == display; });
    if (found == monitors->end() || found->bounds.x < 0 || found->bounds.y < 0) throw captureContentUnavailable();
    return found->bounds;
}

PixelRect pixelRect(const Rect& bounds) {
    return PixelRect{static_cast<std::uint32_t>(bounds.x), static_cast<std::uint32_t>(bounds.y),
                     static_cast<std::uint32_t>(bounds.width), static_cast<std::uint32_t>(bounds.height)};
}

struct Picture {
    X11Pixels pixels;
    Point origin;  // of its top-left corner, on the root
};

std::optional<Picture> displayPicture(X11Connection& x, ShmImageReader& pictures, const DisplayContentFilter& filter) {
    const Rect bounds = monitorBounds(x, filter.display);
    const auto pixels = pictures.rootPixels(pixelRect(bounds));
    if (!pixels) throw captureContentUnavailable();
    return Picture{*pixels, {bounds.x, bounds.y}};
}

std::optional<Picture> windowPicture(X11Connection& x, ShmImageReader& pictures, const WindowContentFilter& filter) {
    if (!topLevelWindow(x, static_cast<xcb_window_t>(filter.window))) throw captureContentUnavailable();
    const auto frame = frameInPlace(x, pictures, static_cast<xcb_window_t>(filter.window));
    if (!frame) return std::nullopt;
    return Picture{frame->pixels, frame->origin};
}

std::optional<Picture> applicationPicture(X11Connection& x, ShmImageReader& pictures, RgbaImage& canvas,
                                          const ApplicationContentFilter& filter) {
    const Rect bounds = monitorBounds(x, filter.display);
    const auto windows = readManagedWindows(x);
    if (!windows) throw captureContentUnavailable();
    const auto width = static_cast<std::uint32_t>(bounds.width);
    const auto height = static_cast<std::uint32_t>(bounds.height);
    if (canvas.width != width || canvas.height != height) canvas = RgbaImage(width, height);
    for (std::size_t at = 0; at < canvas.pixels.size(); at += RgbaImage::bytesPerPixel) {
        std::memcpy(canvas.pixels.data() + at, blackPixel, RgbaImage::bytesPerPixel);
    }
    // The list runs front to back; the back is drawn first.
    for (auto window = windows->rbegin(); window != windows->rend(); ++window) {
        if (window->pid != filter.application || !window->onScreen || window->isDesktopElement()) continue;
        if (const auto frame = framePixels(x, pictures, window->id)) {
            copyImageInto(canvas, frame->image, static_cast<std::int64_t>(frame->origin.x - bounds.x),
                          static_cast<std::int64_t>(frame->origin.y - bounds.y));
        }
    }
    return Picture{pixelsOf(canvas), {bounds.x, bounds.y}};
}

}  // namespace

X11CaptureSource::X11CaptureSource(const std::string& display, std::shared_ptr<ShmSegmentShare> segment)
    : connection_(display), pictures_(connection_, std::move(segment)) {
    redirectSubwindows(connection_);
    cursorImages_ = enableCursorImages(connection_);
}

X11Connection& X11CaptureSource::connection() {
    if (connection_.isBroken() && connection_.usable()) {
        redirectSubwindows(connection_);
        cursorImages_ = enableCursorImages(connection_);
    }
    return connection_;
}

std::optional<X11Pixels> X11CaptureSource::capturePixels(const ContentFilter& filter, bool showsCursor) {
    X11Connection& x = connection();
    if (x.isBroken()) throw captureContentUnavailable();
    auto picture = std::visit(
        [&x, this](const auto& content) -> std::optional<Picture> {
            using Content = std::decay_t<decltype(content)>;
            if constexpr (std::is_same_v<Content, DisplayContentFilter>) {
                return displayPicture(x, pictures_, content);
            } else if constexpr (std::is_same_v<Content, WindowContentFilter>) {
                return windowPicture(x, pictures_, content);
            } else {
                return applicationPicture(x, pictures_, canvas_, content);
            }
        },
        filter);
    if (!picture) return std::nullopt;
    if (showsCursor && cursorImages_) drawCursor(x, picture->pixels, picture->origin);
    return picture->pixels;
}

std::optional<ProcessID> X11CaptureSource::soundOwner(const ContentFilter& filter) {
    if (const auto* window = std::get_if<WindowContentFilter>(&filter)) {
        return readWindowProcess(connection(), static_cast<xcb_window_t>(window->window));
    }
    if (const auto* application = std::get_if<ApplicationContentFilter>(&filter)) return application->application;
    return std::nullopt;
}

}  // namespace zentrabo::platform
