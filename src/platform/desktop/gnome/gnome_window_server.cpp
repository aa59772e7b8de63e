#include "platform/desktop/gnome/gnome_window_server.hpp"

#include <limits>

#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/window_list_selection.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t desktopType = 1;
constexpr std::uint32_t dockType = 2;

std::int64_t layerOf(const ShellWindow& window) {
    if (window.type == desktopType) return -1;
    return window.type == dockType ? 1 : 0;
}

}  // namespace

std::optional<std::vector<WindowListEntry>> GnomeWindowServer::windowList(std::uint32_t options,
                                                                          WindowID relativeToWindow) {
    auto windows = windows_->windows();
    if (!windows) return std::nullopt;
    // The list's numbers are 32 bits wide; mutter's ids have been seen far
    // below that, and one above it could not be named by a caller.
    std::erase_if(*windows, [](const ShellWindow& window) { return window.id > std::numeric_limits<WindowID>::max(); });
    std::vector<WindowListPlace> places;
    for (const auto& window : *windows) {
        places.push_back({static_cast<WindowID>(window.id), !window.minimized,
                          window.type == desktopType || window.type == dockType});
    }
    const auto selected = windowListSelection(places, options, relativeToWindow);
    std::vector<WindowListEntry> entries;
    for (std::size_t index = 0; index < windows->size(); ++index) {
        if (!selected[index]) continue;
        const ShellWindow& window = (*windows)[index];
        entries.push_back(windowListEntry({static_cast<WindowID>(window.id), window.pid, processName(window.pid),
                                           window.title, layerOf(window), 1, window.frame, !window.minimized}));
    }
    return entries;
}

}  // namespace zentrabo::platform
