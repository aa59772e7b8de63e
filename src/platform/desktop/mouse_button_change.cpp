#include "platform/desktop/mouse_button_change.hpp"

namespace zentrabo::platform {

std::optional<MouseButtonChange> mouseButtonChange(MouseEventType type) {
    switch (type) {
    case MouseEventType::mouseMoved:
    case MouseEventType::leftMouseDragged:
    case MouseEventType::rightMouseDragged:
    case MouseEventType::otherMouseDragged:
        return std::nullopt;
    case MouseEventType::leftMouseDown:
        return MouseButtonChange{MouseButton::left, true};
    case MouseEventType::rightMouseDown:
        return MouseButtonChange{MouseButton::right, true};
    case MouseEventType::otherMouseDown:
        return MouseButtonChange{MouseButton::other, true};
    case MouseEventType::leftMouseUp:
        return MouseButtonChange{MouseButton::left, false};
    case MouseEventType::rightMouseUp:
        return MouseButtonChange{MouseButton::right, false};
    case MouseEventType::otherMouseUp:
        return MouseButtonChange{MouseButton::other, false};
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
