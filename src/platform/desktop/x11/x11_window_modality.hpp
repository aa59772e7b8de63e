#pragma once
// Which windows block their application, from the window manager's hints
// alone: toolkits that tell the accessibility bus nothing of modality (Qt)
// and programs without accessibility still mark their modal dialogs there.
#include <xcb/xcb.h>

#include <vector>

#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

// Whether the managed window is shown and modal: marked
// _NET_WM_STATE_MODAL, or a dialog (_NET_WM_WINDOW_TYPE_DIALOG first among
// its types) transient for another window of its process. windows is the
// managed list the window is one of.
bool isModalWindow(X11Connection& connection, xcb_window_t window, const std::vector<ManagedWindow>& windows);

// Whether any window of the process is such a window.
bool hasModalWindow(X11Connection& connection, ProcessID pid, const std::vector<ManagedWindow>& windows);

}  // namespace zentrabo::platform
