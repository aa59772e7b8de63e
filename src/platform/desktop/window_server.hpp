#pragma once
// The window server's list of windows, front to back.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

using WindowID = std::uint32_t;

// One window as the window server lists it.
struct ListedWindow {
    WindowID id = 0;
    // 0 when the window server does not know the owning process.
    ProcessID ownerPID = 0;
    std::string ownerName;
    // None when the window server keeps it to itself.
    std::optional<std::string> title;
    // 0 for applications' normal windows; below 0 for desktop pictures,
    // above for docks, panels and notifications.
    std::int64_t layer = 0;
    // 0 is fully transparent, 1 opaque.
    double alpha = 1;
    // In points on the global desktop, as the window server has it.
    Rect frame;
    // Shown now: not minimized, not hidden, on the current workspace.
    bool onScreen = false;
    // The desktop picture or a dock: part of the desktop, not an application's.
    bool isDesktopElement = false;
};

class WindowServer {
public:
    virtual ~WindowServer() = default;

    // Every window, front to back; none when the list cannot be read.
    virtual std::optional<std::vector<ListedWindow>> windows() = 0;
};

// The listed window with that id; none when it is gone or the list cannot be
// read.
std::optional<ListedWindow> listedWindow(WindowServer& windowServer, WindowID id);

}  // namespace zentrabo::platform
