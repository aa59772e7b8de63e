#pragma once
// Pixel sizes and scales of what a stream captures, and the display a
// window belongs to, from the desktop's display list.
#include <optional>

#include "platform/desktop/displays.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/screen_capture.hpp"
#include "screenstream/client_native_target_size.hpp"

namespace zentrabo {

// Null (not finite) or without area.
bool isNullOrEmpty(const platform::Rect& rect);

// Each side the larger of the display's point size and its pixel size, at
// least 1.
PixelSize displayPixelSize(const platform::ShareableDisplay& display, platform::Displays& displays);

// Pixels per point of the display, at least 1; the main screen's factor
// when the display has no size.
double displayPointPixelScale(const platform::ShareableDisplay& display, platform::Displays& displays);

// Each side ceil(max(scale, 1) x the frame's side), at least 1.
PixelSize windowPixelSize(const platform::Rect& frame, double scale);

// The active display sharing the largest area with the frame (the first on
// ties); the first active display when none does; none without displays.
std::optional<platform::DisplayID> displayID(const platform::Rect& frame, platform::Displays& displays);

// Pixels per point of the display that holds the frame, at least 1.
double pointPixelScale(const platform::Rect& frame, platform::Displays& displays);

}  // namespace zentrabo
