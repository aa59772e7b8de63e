#pragma once
// Which button a mouse event presses or releases, for the desktops that
// post buttons by number.
#include <optional>

#include "platform/desktop/event_poster.hpp"

namespace zentrabo::platform {

enum class MouseButton { left, right, other };

struct MouseButtonChange {
    MouseButton button = MouseButton::left;
    bool pressed = true;
};

// None for a move or a drag, which change no button.
std::optional<MouseButtonChange> mouseButtonChange(MouseEventType type);

}  // namespace zentrabo::platform
