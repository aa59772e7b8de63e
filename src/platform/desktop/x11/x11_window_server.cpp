#include "platform/desktop/x11/x11_window_server.hpp"

#include "platform/desktop/window_list_selection.hpp"
#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/x11/managed_windows.hpp"

namespace zentrabo::platform {

X11WindowServer::X11WindowServer(const std::string& display) : connection_(display) {}

std::optional<std::vector<WindowListEntry>> X11WindowServer::windowList(std::uint32_t options,
                                                                        WindowID relativeToWindow) {
    std::optional<std::vector<ManagedWindow>> windows;
    {
        std::lock_guard lock(mutex_);
        if (!connection_.usable()) return std::nullopt;
        windows = readManagedWindows(connection_);
    }
    if (!windows) return std::nullopt;
    std::vector<WindowListPlace> places;
    for (const auto& window : *windows) places.push_back({window.id, window.onScreen, window.isDesktopElement()});
    const auto selected = windowListSelection(places, options, relativeToWindow);
    std::vector<WindowListEntry> entries;
    for (std::size_t index = 0; index < windows->size(); ++index) {
        if (!selected[index]) continue;
        const ManagedWindow& window = (*windows)[index];
        entries.push_back(windowListEntry({window.id, window.pid, processName(window.pid), window.title, window.layer(),
                                           window.alpha, window.frame, window.onScreen}));
    }
    return entries;
}

}  // namespace zentrabo::platform
