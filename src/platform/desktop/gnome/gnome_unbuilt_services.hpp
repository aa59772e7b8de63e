#pragma once
// The service the GNOME Wayland backend does not provide yet, answering as
// its interface's failure, never as a success: no keyboard layout is read
// (the README says so).
#include "platform/desktop/keyboard_layout.hpp"

namespace zentrabo::platform {

class GnomeKeyboardLayout final : public KeyboardLayoutPreferences {
public:
    std::optional<PropertyListValue> textInputPreferences() override { return std::nullopt; }
};

}  // namespace zentrabo::platform
