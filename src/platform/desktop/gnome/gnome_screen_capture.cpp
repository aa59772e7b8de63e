#include "platform/desktop/gnome/gnome_screen_capture.hpp"

#include <map>

#include "platform/desktop/gnome/gnome_capture_stream.hpp"
#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/pulse/pulse_server_check.hpp"

namespace zentrabo::platform {

GnomeScreenCapture::GnomeScreenCapture(GnomeCaptureTarget target, Clock& clock)
    : target_(std::move(target)),
      clock_(clock),
      soundWatch_(std::make_shared<SoundServerWatch>(clock, pulseServerProblem)) {}

bool GnomeScreenCapture::preflightAccess() { return ScreenCastRecording::screenCastVersion(*target_.bus).has_value(); }

std::optional<ShareableContent> GnomeScreenCapture::shareableContent(bool, bool onScreenOnly) {
    // The shell lists application windows only: no desktop window to leave out.
    if (!preflightAccess()) return std::nullopt;
    const auto state = target_.displays->state();
    const auto windows = target_.windows->windows();
    if (!state || !windows) return std::nullopt;
    ShareableContent content;
    for (const auto id : target_.displays->onlineDisplayIDs().value_or(std::vector<DisplayID>{})) {
        const Rect bounds = target_.displays->bounds(id);
        content.displays.push_back(
            {id, static_cast<std::int64_t>(bounds.width), static_cast<std::int64_t>(bounds.height), bounds});
    }
    std::map<ProcessID, ShareableApplication> applications;
    for (const auto& window : *windows) {
        if (!window.isApplicationWindow() || window.id > std::numeric_limits<WindowID>::max()) continue;
        if (onScreenOnly && window.minimized) continue;
        ShareableWindow shared{
            static_cast<WindowID>(window.id), window.frame, window.title, 0, !window.minimized, std::nullopt};
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

std::optional<RgbaImage> GnomeScreenCapture::firstFrame(const ContentFilter& filter) {
    try {
        const auto recording = target_.record(filter, false);
        const auto frame = recording->video().waitForFrame(0, GnomeCaptureStream::firstFrameTimeout);
        if (!frame) return std::nullopt;
        return frame->rgba();
    } catch (const ScreenCaptureError&) {
        return std::nullopt;
    }
}

std::optional<RgbaImage> GnomeScreenCapture::displayImage(DisplayID display) {
    return firstFrame(DisplayContentFilter{display});
}

std::optional<RgbaImage> GnomeScreenCapture::windowImage(WindowID window) {
    return firstFrame(WindowContentFilter{window});
}

std::shared_ptr<CaptureStream> GnomeScreenCapture::makeCaptureStream(ContentFilter filter,
                                                                     StreamConfiguration configuration,
                                                                     CaptureStreamStopHandler onStop) {
    return std::make_shared<GnomeCaptureStream>(target_, clock_, soundWatch_, std::move(filter),
                                                std::move(configuration), std::move(onStop));
}

double GnomeScreenCapture::pointPixelScale(const ContentFilter& filter) {
    const auto* display = std::get_if<DisplayContentFilter>(&filter);
    const DisplayID id = display ? display->display : target_.displays->mainDisplayID();
    const auto mode = target_.displays->currentMode(id);
    if (!mode || mode->width <= 0) return 0;
    return static_cast<double>(mode->pixelWidth) / static_cast<double>(mode->width);
}

}  // namespace zentrabo::platform
