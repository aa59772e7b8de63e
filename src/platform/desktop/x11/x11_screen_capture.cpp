#include "platform/desktop/x11/x11_screen_capture.hpp"

#include <map>

#include "platform/desktop/x11/composite_frames.hpp"
#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/pulse/pulse_server_check.hpp"
#include "platform/desktop/x11/x11_capture_stream.hpp"
#include "platform/desktop/x11/x11_displays.hpp"

namespace zentrabo::platform {

X11ScreenCapture::X11ScreenCapture(const std::string& display, X11Displays& displays, Clock& clock)
    : display_(display),
      displays_(displays),
      clock_(clock),
      connection_(display),
      pictures_(connection_),
      soundWatch_(std::make_shared<SoundServerWatch>(clock, pulseServerProblem)) {
    redirectSubwindows(connection_);
}

bool X11ScreenCapture::connectionUsableLocked() {
    const bool broken = connection_.isBroken();
    if (!connection_.usable()) return false;
    // A new connection redirects anew: the old one's redirection ended with it.
    if (broken) redirectSubwindows(connection_);
    return true;
}

std::optional<ShareableContent> X11ScreenCapture::shareableContent(bool excludeDesktopWindows, bool onScreenOnly) {
    const auto monitors = displays_.monitors();
    std::optional<std::vector<ManagedWindow>> windows;
    {
        std::lock_guard lock(mutex_);
        if (connectionUsableLocked()) windows = readManagedWindows(connection_);
    }
    if (!monitors || !windows) return std::nullopt;
    ShareableContent content;
    for (const auto& monitor : *monitors) {
        content.displays.push_back({monitor.id, static_cast<std::int64_t>(monitor.bounds.width),
                                    static_cast<std::int64_t>(monitor.bounds.height), monitor.bounds});
    }
    std::map<ProcessID, ShareableApplication> applications;
    for (const auto& window : *windows) {
        if (excludeDesktopWindows && window.isDesktopElement()) continue;
        if (onScreenOnly && !window.onScreen) continue;
        ShareableWindow shared{window.id, window.frame, window.title, window.layer(), window.onScreen, std::nullopt};
        if (window.pid > 0) {
            auto [entry, added] = applications.try_emplace(window.pid);
            if (added) entry->second = ShareableApplication{window.pid, "", processName(window.pid)};
            shared.owningApplication = entry->second;
        }
        content.windows.push_back(std::move(shared));
    }
    for (auto& [pid, application] : applications) content.applications.push_back(std::move(application));
    return content;
}

std::optional<PixelRect> X11ScreenCapture::displayArea(DisplayID display) {
    const auto monitor = displays_.monitor(display);
    if (!monitor || monitor->bounds.x < 0 || monitor->bounds.y < 0) return std::nullopt;
    return PixelRect{static_cast<std::uint32_t>(monitor->bounds.x), static_cast<std::uint32_t>(monitor->bounds.y),
                     static_cast<std::uint32_t>(monitor->bounds.width),
                     static_cast<std::uint32_t>(monitor->bounds.height)};
}

std::optional<RgbaImage> X11ScreenCapture::displayImage(DisplayID display) {
    const auto area = displayArea(display);
    if (!area) return std::nullopt;
    std::lock_guard lock(mutex_);
    if (!connectionUsableLocked()) return std::nullopt;
    const auto held = pictures_.hold();
    return pictures_.rootImage(*area);
}

bool X11ScreenCapture::withDisplayPixels(DisplayID display, const std::function<void(const PackedPixels&)>& use) {
    const auto area = displayArea(display);
    if (!area) return false;
    // Held while `use` reads the segment: the next picture would overwrite it.
    std::lock_guard lock(mutex_);
    if (!connectionUsableLocked()) return false;
    const auto held = pictures_.hold();
    const auto pixels = pictures_.rootPixels(*area);
    if (!pixels) return false;
    if (const auto packed = packedPixels(*pixels)) {
        use(*packed);
        return true;
    }
    // A layout of no packed order: RGBA once.
    const RgbaImage image = rgbaFromPixels(*pixels);
    use(packedPixelsOf(image));
    return true;
}

std::optional<RgbaImage> X11ScreenCapture::windowImage(WindowID window) {
    std::lock_guard lock(mutex_);
    if (!connectionUsableLocked()) return std::nullopt;
    const auto held = pictures_.hold();
    auto frame = framePixels(connection_, pictures_, static_cast<xcb_window_t>(window));
    if (!frame) return std::nullopt;
    return std::move(frame->image);
}

std::shared_ptr<CaptureStream> X11ScreenCapture::makeCaptureStream(ContentFilter filter,
                                                                   StreamConfiguration configuration,
                                                                   CaptureStreamStopHandler onStop) {
    return std::make_shared<X11CaptureStream>(display_, streamSegment_, clock_, soundWatch_, std::move(filter),
                                              std::move(configuration), std::move(onStop));
}

}  // namespace zentrabo::platform
