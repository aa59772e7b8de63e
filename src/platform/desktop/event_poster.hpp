#pragma once
// Synthesized input events posted to the system's event stream, as if typed
// or moved by the user.
#include <cstdint>
#include <string>
#include <variant>

#include "platform/desktop/geometry.hpp"

namespace zentrabo::platform {

using KeyCode = std::uint16_t;
using EventFlags = std::uint64_t;

namespace eventflag {
inline constexpr EventFlags shift = 0x20000;
inline constexpr EventFlags control = 0x40000;
inline constexpr EventFlags option = 0x80000;
inline constexpr EventFlags command = 0x100000;
}  // namespace eventflag

// The event source an event was created with.
enum class EventSourceState { none, combinedSession, hidSystem };

struct KeyboardEvent {
    KeyCode keyCode = 0;
    bool keyDown = true;
    EventFlags flags = 0;
    // Text the event types instead of its key's own character, when set.
    std::u16string unicodeString;
    EventSourceState source = EventSourceState::none;
    bool operator==(const KeyboardEvent&) const = default;
};

enum class MouseEventType {
    mouseMoved,
    leftMouseDown,
    leftMouseUp,
    leftMouseDragged,
    rightMouseDown,
    rightMouseUp,
    rightMouseDragged,
    otherMouseDown,
    otherMouseUp,
    otherMouseDragged,
};

struct MouseEvent {
    MouseEventType type = MouseEventType::mouseMoved;
    Point location;  // global points
    std::int64_t clickState = 1;
    EventFlags flags = 0;
    EventSourceState source = EventSourceState::none;
    bool operator==(const MouseEvent&) const = default;
};

enum class ScrollUnit { pixel, line };

struct ScrollEvent {
    ScrollUnit unit = ScrollUnit::pixel;
    std::int32_t deltaY = 0;
    std::int32_t deltaX = 0;
    Point location;
    std::int64_t scrollPhase = 0;
    std::int64_t momentumPhase = 0;
    bool isContinuous = false;
    EventFlags flags = 0;
    EventSourceState source = EventSourceState::none;
    bool operator==(const ScrollEvent&) const = default;
};

// Media and brightness keys travel as system-defined events.
struct SystemDefinedEvent {
    std::int64_t subtype = 0;
    std::int64_t data1 = 0;
    std::int64_t data2 = 0;
    EventFlags modifierFlags = 0;
    bool operator==(const SystemDefinedEvent&) const = default;
};

using InputEvent = std::variant<KeyboardEvent, MouseEvent, ScrollEvent, SystemDefinedEvent>;

class EventPoster {
public:
    virtual ~EventPoster() = default;

    // Posts to the HID event tap; false when the event cannot be created (and
    // so nothing was posted).
    virtual bool post(const InputEvent& event) = 0;
};

}  // namespace zentrabo::platform
