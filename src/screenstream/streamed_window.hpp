#pragma once
// Reading the streamed window through accessibility.
#include <optional>

#include "platform/desktop/accessibility.hpp"

namespace zentrabo {

// The window element's "AXPosition" and "AXSize" as a frame, when both can
// be read and the size is positive on both sides.
std::optional<platform::Rect> accessibilityWindowFrame(platform::Accessibility& accessibility,
                                                       const platform::AXElement& window);

}  // namespace zentrabo
