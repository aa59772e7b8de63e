#pragma once
// The pointer's cursor as XFixes shows it, drawn over a captured picture.
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_pixels.hpp"

namespace zentrabo::platform {

// Announces the XFixes version the cursor calls need; false when the server
// has none.
bool enableCursorImages(X11Connection& connection);

// Draws the current cursor over the picture, whose top-left corner is at
// origin on the root; nothing when the server does not answer.
void drawCursor(X11Connection& connection, const X11Pixels& picture, Point origin);

}  // namespace zentrabo::platform
