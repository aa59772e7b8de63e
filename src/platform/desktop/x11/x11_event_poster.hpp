#pragma once
// Synthesized input on an X11 session through XTest. Keys go by their
// physical place (the current keymap's keycode of that place); text goes by
// its symbols, borrowing a spare keycode for a symbol the layout lacks and
// giving it back once the application has had time to read it. Its own
// connection and lock; the callers hold the desktop's input lock around a
// sequence of events.
#include <xkbcommon/xkbcommon.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop/event_poster.hpp"
#include "platform/desktop/wheel_clicks.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_keymap.hpp"

namespace zentrabo::platform {

class X11EventPoster final : public EventPoster {
public:
    // Spare keycodes a text may borrow before it waits to give them back.
    static constexpr std::size_t spareKeycodeCount = 8;
    // How long a borrowed keycode stays after its key-up reached the server:
    // toolkits read the keymap anew when they translate the key, so giving it
    // back at once could make them read the restored (empty) key.
    static constexpr std::chrono::milliseconds borrowedKeySettleTime{300};

    // Connects to the display; throws X11Error when it cannot be reached.
    explicit X11EventPoster(const std::string& display);
    ~X11EventPoster() override;

    // False when the event cannot be made here: no XTest, a key code without
    // a key, a symbol no key types, a media key the keymap lacks.
    bool post(const InputEvent& event) override;

private:
    // A spare keycode typing a symbol for now, and what it carried before.
    struct BorrowedKey {
        xcb_keycode_t keycode = 0;
        xkb_keysym_t keysym = 0;
        std::uint8_t savedPerKeycode = 0;
        std::vector<xcb_keysym_t> saved;
    };

    bool postKeyboard(const KeyboardEvent& event);
    bool postMouse(const MouseEvent& event);
    bool postScroll(const ScrollEvent& event);
    bool postSystemDefined(const SystemDefinedEvent& event);

    // The current keymap, setting up XKB on a new connection first.
    std::optional<X11Keymap> keymap();
    bool typeText(const std::u16string& text, const X11Keymap& keymap);
    bool borrow(xcb_keycode_t keycode, xkb_keysym_t keysym, std::vector<BorrowedKey>& borrowed);
    // Waits until the server has handled every key event sent and the settle
    // time has passed, then maps the borrowed keycodes as they were.
    void giveBack(std::vector<BorrowedKey>& borrowed);
    // The modifier keys of the flags whose keys are not held; none when one
    // has no key in the keymap.
    std::optional<std::vector<xcb_keycode_t>> unheldModifierKeys(EventFlags flags);
    // Runs the event with the keys held around it.
    template <typename Event>
    bool holding(const std::vector<xcb_keycode_t>& keys, Event event);

    void fake(std::uint8_t type, std::uint8_t detail, std::int16_t x = 0, std::int16_t y = 0);
    void tap(xcb_keycode_t keycode);
    bool moveTo(Point location);
    void wheel(std::uint8_t positiveButton, std::uint8_t negativeButton, std::int32_t clicks);

    std::mutex mutex_;
    X11Connection connection_;
    XkbContext context_;
    // The connection XKB and XTest were set up on; a new one after a reconnect.
    std::uint64_t readyOpening_ = 0;
    bool ready_ = false;
    std::set<KeyCode> heldModifierKeys_;
    std::set<KeyCode> textKeysDown_;
    WheelClicks wheelClicks_;
};

}  // namespace zentrabo::platform
