#pragma once
// A window's own pixels through the Composite extension. With the root's
// subwindows redirected, every top-level window (the frame a window manager
// puts around a client) draws into a pixmap of its own, which keeps its
// pixels whatever covers it. Automatic redirection still shows everything on
// screen as before, and stacks with a compositing window manager's own.
#include <xcb/xcb.h>

#include <optional>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/x11/shm_image.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Redirects the root's subwindows for as long as the connection lasts; false
// when the server has no Composite 0.2.
bool redirectSubwindows(X11Connection& connection);

// The top-level window that holds the client window (the client itself when
// no window manager framed it); none when the window is gone.
std::optional<xcb_window_t> topLevelWindow(X11Connection& connection, xcb_window_t client);

struct FramePixels {
    RgbaImage image;
    // The top-left corner of the frame (its border included) on the root.
    Point origin;
};

// The pixels of the client's frame, title bar included, in the reader's
// segment until its next picture; none when the window is gone or shows
// nothing (not mapped, as while minimized). The pictures are read on the
// connection.
struct FrameInPlace {
    X11Pixels pixels;
    Point origin;
};
std::optional<FrameInPlace> frameInPlace(X11Connection& connection, ShmImageReader& pictures, xcb_window_t client);

// The same as an RGBA image of its own.
std::optional<FramePixels> framePixels(X11Connection& connection, ShmImageReader& pictures, xcb_window_t client);

}  // namespace zentrabo::platform
