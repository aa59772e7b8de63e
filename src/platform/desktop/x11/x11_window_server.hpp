#pragma once
// The window list of an X11 session: the window manager's managed windows.
#include <mutex>
#include <string>

#include "platform/desktop/window_server.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

class X11WindowServer final : public WindowServer {
public:
    // Throws X11Error when the display cannot be reached.
    explicit X11WindowServer(const std::string& display);

    std::optional<std::vector<ListedWindow>> windows() override;

private:
    std::mutex mutex_;
    X11Connection connection_;
};

}  // namespace zentrabo::platform
