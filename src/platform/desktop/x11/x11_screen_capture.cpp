#include "platform/desktop/x11/x11_screen_capture.hpp"

#include <map>

#include "platform/desktop/x11/linux_process.hpp"
#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "platform/desktop/x11/unavailable_capture_stream.hpp"
#include "platform/desktop/x11/x11_displays.hpp"

namespace zentrabo::platform {

X11ScreenCapture::X11ScreenCapture(const std::string& display, X11Displays& displays)
    : displays_(displays), connection_(display) {}

std::optional<ShareableContent> X11ScreenCapture::shareableContent(bool excludeDesktopWindows, bool onScreenOnly) {
    const auto monitors = displays_.monitors();
    std::optional<std::vector<ManagedWindow>> windows;
    {
        std::lock_guard lock(mutex_);
        if (connection_.usable()) windows = readManagedWindows(connection_);
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

std::optional<RgbaImage> X11ScreenCapture::displayImage(DisplayID display) {
    const auto monitor = displays_.monitor(display);
    if (!monitor || monitor->bounds.x < 0 || monitor->bounds.y < 0) return std::nullopt;
    const PixelRect area{static_cast<std::uint32_t>(monitor->bounds.x), static_cast<std::uint32_t>(monitor->bounds.y),
                         static_cast<std::uint32_t>(monitor->bounds.width),
                         static_cast<std::uint32_t>(monitor->bounds.height)};
    std::lock_guard lock(mutex_);
    if (!connection_.usable()) return std::nullopt;
    return rootImageThroughShm(connection_, area);
}

std::shared_ptr<CaptureStream> X11ScreenCapture::makeCaptureStream(ContentFilter, StreamConfiguration,
                                                                   CaptureStreamStopHandler) {
    return std::make_shared<UnavailableCaptureStream>();
}

}  // namespace zentrabo::platform
