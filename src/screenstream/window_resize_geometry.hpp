#pragma once
// The arithmetic of a streamed window's resize: the size a request may ask
// for, where the window goes so it stays on its display, and the size that
// restores the asked-for proportions when an application bends them.
#include <optional>
#include <vector>

#include "platform/desktop/displays.hpp"
#include "platform/desktop/geometry.hpp"

namespace zentrabo {

// The requested size grown to at least 200 x 160 and shrunk to at most
// 10000 per side, the proportions kept, each side rounded and at least 1.
// None unless both sides are finite and above 1.
std::optional<platform::Size> normalizedWindowSize(double width, double height);

// The frame of size around the centre of another.
platform::Rect centredFrame(const platform::Rect& around, const platform::Size& size);

// Every active display's bounds that has an area.
std::vector<platform::Rect> activeDisplayBounds(platform::Displays& displays);

// The display sharing the largest area with the frame (the first on ties);
// when none does, the one whose centre is nearest; none without displays.
std::optional<platform::Rect> displayBounds(const platform::Rect& frame, const std::vector<platform::Rect>& displays);

// The frame moved, never resized, so it lies on the display on each axis
// where it fits, and starts at the display's edge where it does not.
platform::Rect clampedFrame(const platform::Rect& frame, const platform::Rect& display);

// The frame moved onto the display of another frame (the one a window is
// on before it changes), when there is one.
platform::Rect keptOnDisplayOf(const platform::Rect& reference, const platform::Rect& frame,
                               const std::vector<platform::Rect>& displays);

// When the application took a size of other proportions than the target's,
// the size that grows its short side back to the target's proportions;
// none when the proportions are close enough or growing would not help.
std::optional<platform::Size> aspectCorrectedSize(const platform::Size& actual, const platform::Size& target);

}  // namespace zentrabo
