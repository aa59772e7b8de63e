#pragma once
// Where the callers' virtual key codes sit on the keyboard: each names a
// physical key (its place on a US ANSI keyboard), so it maps to the XKB name
// of that place and never to a symbol, which would move with the layout.
#include <optional>

#include "platform/desktop/event_poster.hpp"

namespace zentrabo::platform {

// The XKB key name ("AD06") of the key code's place; none for a key code
// that names no key here.
const char* xkbKeyName(KeyCode keyCode);

// The flag a modifier key stands for while it is down, and the key that holds
// it: Command holds the left Control (Linux applications take Control where
// the Mac takes Command), Control the right one, so Command+Control are two
// keys; Option holds Alt.
struct ModifierKeyPosition {
    KeyCode keyCode;
    EventFlags flag;
    const char* xkbName;
};
std::optional<ModifierKeyPosition> modifierKeyPosition(KeyCode keyCode);
// The modifier flags in the order their keys go down.
inline constexpr EventFlags modifierFlagsInPressOrder[] = {eventflag::command, eventflag::control, eventflag::option,
                                                           eventflag::shift};
// The key that holds a flag when an event carries it without its key down.
const char* xkbKeyNameOfFlag(EventFlags flag);

}  // namespace zentrabo::platform
