#pragma once
// The keyboard layouts of an X11 session, until it reads the XKB
// configuration: the preferences cannot be opened.
#include "platform/desktop/keyboard_layout.hpp"

namespace zentrabo::platform {

class X11KeyboardLayout final : public KeyboardLayoutPreferences {
public:
    std::optional<PropertyListValue> textInputPreferences() override { return std::nullopt; }
};

}  // namespace zentrabo::platform
