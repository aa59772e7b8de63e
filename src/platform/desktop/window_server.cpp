#include "platform/desktop/window_server.hpp"

#include <algorithm>

namespace zentrabo::platform {

std::optional<ListedWindow> listedWindow(WindowServer& windowServer, WindowID id) {
    const auto windows = windowServer.windows();
    if (!windows) return std::nullopt;
    const auto found =
        std::find_if(windows->begin(), windows->end(), [id](const ListedWindow& window) { return window.id == id; });
    if (found == windows->end()) return std::nullopt;
    return *found;
}

}  // namespace zentrabo::platform
