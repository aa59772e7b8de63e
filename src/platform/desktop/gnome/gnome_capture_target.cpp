#include "platform/desktop/gnome/gnome_capture_target.hpp"

#include <type_traits>

namespace zentrabo::platform {

std::unique_ptr<ScreenCastRecording> GnomeCaptureTarget::record(const ContentFilter& filter, bool showsCursor) const {
    return std::visit(
        [&](const auto& shown) -> std::unique_ptr<ScreenCastRecording> {
            using Shown = std::decay_t<decltype(shown)>;
            if constexpr (std::is_same_v<Shown, DisplayContentFilter>) {
                const auto connector = displays->connectorOf(shown.display);
                if (!connector) throw captureContentUnavailable();
                return ScreenCastRecording::ofMonitor(
                    bus, *connector,
                    {double(displays->pixelsWide(shown.display)), double(displays->pixelsHigh(shown.display))},
                    showsCursor);
            } else {
                for (const auto& window : windows->windows().value_or(std::vector<ShellWindow>{})) {
                    bool shows = false;
                    if constexpr (std::is_same_v<Shown, WindowContentFilter>) {
                        shows = window.id == shown.window;
                    } else {
                        shows = window.pid == shown.application && window.isApplicationWindow() && !window.minimized;
                    }
                    if (shows) {
                        return ScreenCastRecording::ofWindow(bus, window.id, {window.frame.width, window.frame.height},
                                                             window.frameInsets(), showsCursor);
                    }
                }
                throw captureContentUnavailable();
            }
        },
        filter);
}

}  // namespace zentrabo::platform
