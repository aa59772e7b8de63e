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
                return ScreenCastRecording::ofMonitor(bus, *connector, showsCursor);
            } else if constexpr (std::is_same_v<Shown, WindowContentFilter>) {
                return ScreenCastRecording::ofWindow(bus, shown.window, showsCursor);
            } else {
                for (const auto& window : windows->windows().value_or(std::vector<ShellWindow>{})) {
                    if (window.pid == shown.application && window.isApplicationWindow() && !window.minimized) {
                        return ScreenCastRecording::ofWindow(bus, window.id, showsCursor);
                    }
                }
                throw captureContentUnavailable();
            }
        },
        filter);
}

}  // namespace zentrabo::platform
