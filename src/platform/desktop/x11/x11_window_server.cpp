#include "platform/desktop/x11/x11_window_server.hpp"

#include "platform/desktop/processes/linux_process.hpp"
#include "platform/desktop/x11/managed_windows.hpp"

namespace zentrabo::platform {

X11WindowServer::X11WindowServer(const std::string& display) : connection_(display) {}

std::optional<std::vector<ListedWindow>> X11WindowServer::windows() {
    std::optional<std::vector<ManagedWindow>> managed;
    {
        std::lock_guard lock(mutex_);
        if (!connection_.usable()) return std::nullopt;
        managed = readManagedWindows(connection_);
    }
    if (!managed) return std::nullopt;
    std::vector<ListedWindow> listed;
    listed.reserve(managed->size());
    for (const ManagedWindow& window : *managed) {
        listed.push_back({window.id, window.pid, processName(window.pid), window.title, window.layer(), window.alpha,
                          window.frame, window.onScreen, window.isDesktopElement()});
    }
    return listed;
}

}  // namespace zentrabo::platform
