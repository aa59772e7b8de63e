#pragma once
// The windows the window manager manages, read from its EWMH properties:
// what the window list, the workspace and shareable content are made of.
#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/running_application.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

// The window types that sit in a layer of their own.
enum class ManagedWindowType { normal, desktop, dock, notification };

struct ManagedWindow {
    // The client window (not the frame the window manager put around it).
    xcb_window_t id = 0;
    // The frame: the client's place on the root plus the frame extents.
    Rect frame;
    // 0 when neither the window nor the X server says.
    ProcessID pid = 0;
    std::optional<std::string> title;
    bool minimized = false;
    bool onScreen = false;
    ManagedWindowType type = ManagedWindowType::normal;
    double alpha = 1;

    // 0 for normal windows; below 0 for the desktop, above for docks and
    // notifications.
    std::int64_t layer() const;
    bool isDesktopElement() const;
};

// The managed windows front to back (the reverse of the stacking list);
// none when the X server does not answer. Without an EWMH window manager
// there are none.
std::optional<std::vector<ManagedWindow>> readManagedWindows(X11Connection& connection);

// The process that owns the window: _NET_WM_PID, else what the X-Resource
// extension knows of the client that made it; 0 when neither says.
ProcessID readWindowProcess(X11Connection& connection, xcb_window_t window);

// The window manager's active window; 0 when there is none.
xcb_window_t readActiveWindow(X11Connection& connection);

}  // namespace zentrabo::platform
