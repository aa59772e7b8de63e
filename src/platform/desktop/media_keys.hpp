#pragma once
// Media and brightness keys as system-defined events carry them: the event
// of auxiliary control buttons holds the key's type in data1's upper half
// and its phase in the byte above the lowest. Each key is known by its
// keysym and by its evdev code, which type the same key on an evdev keymap.
#include <xkbcommon/xkbcommon.h>

#include <cstdint>
#include <optional>

#include "platform/desktop/event_poster.hpp"

namespace zentrabo::platform {

struct MediaKeyStroke {
    xkb_keysym_t keysym = XKB_KEY_NoSymbol;
    std::uint32_t evdevCode = 0;
    bool down = false;
};

// The media key the event presses or releases; none for another event or a
// key type without a key.
std::optional<MediaKeyStroke> mediaKeyStroke(const SystemDefinedEvent& event);

}  // namespace zentrabo::platform
