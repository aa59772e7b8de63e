#include "platform/desktop/gnome/gnome_window_server.hpp"

#include <algorithm>
#include <limits>

#include "platform/desktop/processes/linux_process.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t desktopType = 1;
constexpr std::uint32_t dockType = 2;

std::int64_t layerOf(const ShellWindow& window) {
    if (window.type == desktopType) return -1;
    return window.type == dockType ? 1 : 0;
}

}  // namespace

std::optional<std::vector<ListedWindow>> GnomeWindowServer::windows() {
    const ShellWindowID focused = windows_->focusedWindow();
    auto windows = windows_->windows();
    if (!windows) return std::nullopt;
    // The shell may give a window the focus without raising it above the
    // others of its application; the focused window is the one its user
    // works in, and the frontmost application is the focused window's, so it
    // heads the list as the front window.
    std::stable_partition(windows->begin(), windows->end(),
                          [focused](const ShellWindow& window) { return focused != 0 && window.id == focused; });
    std::vector<ListedWindow> listed;
    listed.reserve(windows->size());
    for (const ShellWindow& window : *windows) {
        // The list's numbers are 32 bits wide; mutter's ids have been seen far
        // below that, and one above it could not be named by a caller.
        if (window.id > std::numeric_limits<WindowID>::max()) continue;
        listed.push_back({static_cast<WindowID>(window.id), window.pid, processName(window.pid), window.title,
                          layerOf(window), 1, window.frame, !window.minimized,
                          window.type == desktopType || window.type == dockType});
    }
    return listed;
}

}  // namespace zentrabo::platform
