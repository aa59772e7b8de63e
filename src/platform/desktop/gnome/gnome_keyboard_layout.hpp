#pragma once
// The keyboard layouts of a GNOME session as the text-input preferences the
// callers read: its XKB input sources (org.gnome.desktop.input-sources),
// each named as its compiled keymap names it, and the current one, the
// source mutter types with. Read afresh at every call.
#include "platform/desktop/gnome/gnome_keymap.hpp"
#include "platform/desktop/keyboard_layout.hpp"

namespace zentrabo::platform {

class GnomeKeyboardLayout final : public KeyboardLayoutPreferences {
public:
    // None when the session has no input-source settings.
    std::optional<PropertyListValue> textInputPreferences() override;

private:
    GnomeKeymap keymap_;
};

}  // namespace zentrabo::platform
