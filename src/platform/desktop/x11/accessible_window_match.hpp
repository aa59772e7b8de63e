#pragma once
// Which client window an accessible window stands for. The accessibility
// bus knows a window's process, its frame on the screen and its title, but
// not its X window; the window manager's list knows all four. The process
// decides first, then the frame: the nearest one among the process's
// windows that overlaps, the title telling apart windows of one place and
// size.
#include <xcb/xcb.h>

#include <optional>
#include <vector>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/atspi/accessible_window.hpp"
#include "platform/desktop/x11/managed_windows.hpp"

namespace zentrabo::platform {

// The managed window (front to back, as readManagedWindows lists them) that
// the accessible window is; none when no window of its process overlaps it.
std::optional<xcb_window_t> matchingClientWindow(const std::vector<ManagedWindow>& windows,
                                                 const AccessibleWindow& accessible);

}  // namespace zentrabo::platform
