#pragma once
// Requests to the window manager about one managed (client) window, sent as
// the EWMH and ICCCM client messages a pager sends, so the window manager
// treats them as the user's own and never as focus stealing. Each is sent
// and flushed; the window manager acts on it later.
#include <xcb/xcb.h>

#include <optional>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

// Activates the window: shown if minimized, raised and given the focus.
// current is the active window the request replaces (0 when unknown).
void requestActivation(X11Connection& connection, xcb_window_t window, xcb_window_t current = 0);

// Minimizes the window (ICCCM's iconic state).
void requestMinimize(X11Connection& connection, xcb_window_t window);

// Moves the frame's top-left corner to position and makes the frame size
// (decorations included) whichever of them is given. The window manager
// places and sizes client windows, so the frame extents it reports are taken
// off first. False when the window's extents could not be read.
bool requestFrameChange(X11Connection& connection, xcb_window_t window, std::optional<Point> position,
                        std::optional<Size> size);

// The client window's place and size on the root, without the frame; none
// when the window is gone or the server does not answer.
std::optional<Rect> readClientGeometry(X11Connection& connection, xcb_window_t window);

// The frame of a client window: its geometry widened by _NET_FRAME_EXTENTS.
std::optional<Rect> readFrame(X11Connection& connection, xcb_window_t window);

}  // namespace zentrabo::platform
