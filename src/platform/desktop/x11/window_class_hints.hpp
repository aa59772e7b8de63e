#pragma once
// What windows say of the application they belong to: _GTK_APPLICATION_ID
// and WM_CLASS, read for many windows in one round trip.
#include <xcb/xcb.h>

#include <vector>

#include "platform/desktop/freedesktop/application_matching.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

std::vector<WindowClassHints> readWindowClassHints(X11Connection& connection, const std::vector<xcb_window_t>& windows);

}  // namespace zentrabo::platform
