#include "platform/desktop/gnome/gnome_event_poster.hpp"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <type_traits>

#include "platform/desktop/key_positions.hpp"
#include "platform/desktop/media_keys.hpp"
#include "platform/desktop/mouse_button_change.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo::platform {

namespace {

std::int32_t evdevButton(MouseButton button) {
    constexpr std::int32_t leftButton = 0x110, rightButton = 0x111, middleButton = 0x112;
    return button == MouseButton::left ? leftButton : button == MouseButton::right ? rightButton : middleButton;
}

constexpr std::uint32_t verticalAxis = 0, horizontalAxis = 1;

}  // namespace

GnomeEventPoster::~GnomeEventPoster() {
    std::lock_guard locked(mutex_);
    // Modifiers a caller left down would stay down for the session's life.
    const auto session = heldOn_.lock();
    if (!session || session->closed()) return;
    for (const KeyCode held : heldModifierKeys_) {
        if (const auto code = keymap_.evdevCode(xkbKeyName(held))) session->key(*code, false);
    }
}

bool GnomeEventPoster::post(const InputEvent& event) {
    std::lock_guard locked(mutex_);
    const auto session = link_->session();
    if (!session) return false;
    if (heldOn_.lock() != session) {
        // Keys held on a session that closed were released with it.
        heldModifierKeys_.clear();
        textKeysDown_.clear();
        heldOn_ = session;
    }
    return std::visit(
        [&](const auto& input) {
            using Input = std::decay_t<decltype(input)>;
            if constexpr (std::is_same_v<Input, KeyboardEvent>) return postKeyboard(*session, input);
            if constexpr (std::is_same_v<Input, MouseEvent>) return postMouse(*session, input);
            if constexpr (std::is_same_v<Input, ScrollEvent>) return postScroll(*session, input);
            if constexpr (std::is_same_v<Input, SystemDefinedEvent>) {
                const auto media = mediaKeyStroke(input);
                return media && session->key(media->evdevCode, media->down);
            }
        },
        event);
}

template <typename Event>
bool GnomeEventPoster::holding(RemoteDesktopSession& session, const std::vector<std::uint32_t>& keys, Event event) {
    bool posted = true;
    for (const std::uint32_t key : keys) posted = session.key(key, true) && posted;
    posted = event() && posted;
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) posted = session.key(*key, false) && posted;
    return posted;
}

std::optional<std::vector<std::uint32_t>> GnomeEventPoster::unheldModifierKeys(EventFlags flags) {
    std::vector<std::uint32_t> keys;
    for (const EventFlags flag : modifierFlagsInPressOrder) {
        if (!(flags & flag)) continue;
        const bool held = std::any_of(heldModifierKeys_.begin(), heldModifierKeys_.end(),
                                      [&](KeyCode key) { return modifierKeyPosition(key)->flag == flag; });
        if (held) continue;
        const auto code = keymap_.evdevCode(xkbKeyNameOfFlag(flag));
        if (!code) return std::nullopt;
        keys.push_back(*code);
    }
    return keys;
}

bool GnomeEventPoster::postKeyboard(RemoteDesktopSession& session, const KeyboardEvent& event) {
    // The down types the text; its up has nothing left to release.
    if (!event.keyDown && textKeysDown_.erase(event.keyCode) != 0) return true;
    if (!event.unicodeString.empty()) {
        if (!event.keyDown) return true;
        if (!typeText(session, event.unicodeString)) return false;
        textKeysDown_.insert(event.keyCode);
        return true;
    }
    const char* name = xkbKeyName(event.keyCode);
    const auto code = name ? keymap_.evdevCode(name) : std::nullopt;
    if (!code) return false;
    if (modifierKeyPosition(event.keyCode)) {
        if (!session.key(*code, event.keyDown)) return false;
        if (event.keyDown) {
            heldModifierKeys_.insert(event.keyCode);
        } else {
            heldModifierKeys_.erase(event.keyCode);
        }
        return true;
    }
    // A release needs no modifiers: they were held around the press.
    const auto around = unheldModifierKeys(event.keyDown ? event.flags : 0);
    if (!around) return false;
    return holding(session, *around, [&] { return session.key(*code, event.keyDown); });
}

bool GnomeEventPoster::typeText(RemoteDesktopSession& session, const std::u16string& text) {
    std::vector<xkb_keysym_t> keysyms;
    for (const char32_t scalar : unicodeScalars(text)) {
        const xkb_keysym_t keysym = xkb_utf32_to_keysym(scalar);
        if (keysym == XKB_KEY_NoSymbol || !keymap_.types(keysym)) return pasteText(session, utf8(text));
        keysyms.push_back(keysym);
    }
    bool typed = true;
    for (const xkb_keysym_t keysym : keysyms) {
        typed = session.keysym(keysym, true) && session.keysym(keysym, false) && typed;
    }
    return typed;
}

bool GnomeEventPoster::pasteText(RemoteDesktopSession& session, const std::string& text) {
    const auto saved = pasteboard_.items();
    if (!pasteboard_.setString(text)) return false;
    const auto control = keymap_.evdevCode(xkbKeyNameOfFlag(eventflag::command));
    // V by its symbol, wherever the layout has it.
    const bool pasted = control && holding(session, {*control}, [&] {
                            return session.keysym(XKB_KEY_v, true) && session.keysym(XKB_KEY_v, false);
                        });
    if (pasted) clock_.sleep(pasteReadSeconds);
    // The user's clipboard must not be lost to the paste, even a failed one.
    if (saved.empty()) {
        pasteboard_.clearContents();
    } else {
        pasteboard_.writeItems(saved);
    }
    return pasted;
}

bool GnomeEventPoster::postMouse(RemoteDesktopSession& session, const MouseEvent& event) {
    const auto change = mouseButtonChange(event.type);
    const bool pressed = !change || change->pressed;
    const auto around = unheldModifierKeys(pressed ? event.flags : 0);
    if (!around) return false;
    // The compositor counts no clicks: a toolkit counts a press that follows
    // the last within its double-click time and distance as the next click.
    return holding(session, *around, [&] {
        if (!session.moveTo(event.location)) return false;
        return !change || session.button(evdevButton(change->button), pressed);
    });
}

bool GnomeEventPoster::postScroll(RemoteDesktopSession& session, const ScrollEvent& event) {
    const auto clicks = wheelClicks_.of(event);
    if (clicks.vertical == 0 && clicks.horizontal == 0) return true;
    const auto around = unheldModifierKeys(event.flags);
    if (!around) return false;
    // Positive clicks scroll up and left; mutter's positive steps go down
    // and right.
    return holding(session, *around, [&] {
        if (!session.moveTo(event.location)) return false;
        const bool vertical = clicks.vertical == 0 || session.scroll(verticalAxis, -clicks.vertical);
        const bool horizontal = clicks.horizontal == 0 || session.scroll(horizontalAxis, -clicks.horizontal);
        return vertical && horizontal;
    });
}

}  // namespace zentrabo::platform
