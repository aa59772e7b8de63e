#pragma once
// The keyboard layouts of an X11 session as the text-input preferences the
// callers read: the configured layouts from the root window's
// _XKB_RULES_NAMES, named as the keymap names them, and the current one from
// the XKB state's group. Read afresh at every call on a connection of its own.
#include <mutex>
#include <string>

#include "platform/desktop/keyboard_layout.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_keymap.hpp"

namespace zentrabo::platform {

class X11KeyboardLayout final : public KeyboardLayoutPreferences {
public:
    // Connects to the display; throws X11Error when it cannot be reached.
    explicit X11KeyboardLayout(const std::string& display);

    // "AppleCurrentKeyboardLayoutInputSourceID" (the current layout's
    // identifier, "org.freedesktop.xkb.de") and "AppleSelectedInputSources"
    // (every configured layout: its "KeyboardLayout Name" and "InputSource
    // ID"); none when the server cannot be reached or has no XKB.
    std::optional<PropertyListValue> textInputPreferences() override;

private:
    std::mutex mutex_;
    X11Connection connection_;
    XkbContext context_;
    // The connection XKB was set up on; a new one after a reconnect.
    std::uint64_t readyOpening_ = 0;
    bool ready_ = false;
};

}  // namespace zentrabo::platform
