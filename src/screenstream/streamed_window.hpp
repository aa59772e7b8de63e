#pragma once
// Reading the streamed window through the window list and accessibility.
#include <optional>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo {

// The window list's entry for that one window; none when it is gone or the
// list cannot be read.
std::optional<platform::WindowListEntry> windowInfo(platform::WindowServer& windowServer, platform::WindowID windowID);

// The window element's "AXPosition" and "AXSize" as a frame, when both can
// be read and the size is positive on both sides.
std::optional<platform::Rect> accessibilityWindowFrame(platform::Accessibility& accessibility,
                                                       const platform::AXElement& window);

}  // namespace zentrabo
