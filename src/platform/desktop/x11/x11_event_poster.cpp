#include "platform/desktop/x11/x11_event_poster.hpp"

#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <cmath>
#include <thread>
#include <type_traits>

#include "platform/desktop/key_positions.hpp"
#include "platform/desktop/media_keys.hpp"
#include "platform/desktop/mouse_button_change.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo::platform {

namespace {

std::uint8_t numberOf(MouseButton button) {
    constexpr std::uint8_t leftButton = 1, middleButton = 2, rightButton = 3;
    return button == MouseButton::left ? leftButton : button == MouseButton::right ? rightButton : middleButton;
}

constexpr std::uint8_t wheelUp = 4, wheelDown = 5, wheelLeft = 6, wheelRight = 7;

std::optional<std::int16_t> rootCoordinate(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    return static_cast<std::int16_t>(std::clamp(std::lround(value), -32768L, 32767L));
}

}  // namespace

X11EventPoster::X11EventPoster(const std::string& display)
    : connection_(display), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

X11EventPoster::~X11EventPoster() {
    std::lock_guard locked(mutex_);
    if (!ready_ || readyOpening_ != connection_.opening() || connection_.isBroken()) return;
    // Modifiers a caller left down would stay down on the server for good.
    // The connection makes sure these releases, and a key-up posted just
    // before, reach the server before it closes: a key it kept down would
    // have its next press, from any client, dropped as held already.
    if (const auto current = heldModifierKeys_.empty() ? std::nullopt : keymap()) {
        for (const KeyCode held : heldModifierKeys_) {
            if (const xcb_keycode_t key = current->keycodeOfName(xkbKeyName(held)); key != 0) {
                fake(XCB_KEY_RELEASE, key);
            }
        }
    }
}

bool X11EventPoster::post(const InputEvent& event) {
    std::lock_guard locked(mutex_);
    if (!connection_.usable()) return false;
    if (readyOpening_ != connection_.opening()) {
        readyOpening_ = connection_.opening();
        const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection_.get(), &xcb_test_id);
        ready_ = xtest && xtest->present && context_ && X11Keymap::setUp(connection_.get());
        // Keys we held were held on the server that went away.
        heldModifierKeys_.clear();
        textKeysDown_.clear();
    }
    if (!ready_) return false;
    const bool posted = std::visit(
        [this](const auto& input) {
            using Input = std::decay_t<decltype(input)>;
            if constexpr (std::is_same_v<Input, KeyboardEvent>) return postKeyboard(input);
            if constexpr (std::is_same_v<Input, MouseEvent>) return postMouse(input);
            if constexpr (std::is_same_v<Input, ScrollEvent>) return postScroll(input);
            if constexpr (std::is_same_v<Input, SystemDefinedEvent>) return postSystemDefined(input);
        },
        event);
    connection_.flush();
    // Events sent to a server that went away meanwhile were not posted.
    return posted && connection_.alive();
}

std::optional<X11Keymap> X11EventPoster::keymap() { return X11Keymap::read(connection_.get(), context_.get()); }

void X11EventPoster::fake(std::uint8_t type, std::uint8_t detail, std::int16_t x, std::int16_t y) {
    xcb_test_fake_input(connection_.get(), type, detail, XCB_CURRENT_TIME, connection_.root(), x, y, 0);
}

void X11EventPoster::tap(xcb_keycode_t keycode) {
    fake(XCB_KEY_PRESS, keycode);
    fake(XCB_KEY_RELEASE, keycode);
}

template <typename Event>
bool X11EventPoster::holding(const std::vector<xcb_keycode_t>& keys, Event event) {
    for (const xcb_keycode_t key : keys) fake(XCB_KEY_PRESS, key);
    const bool posted = event();
    for (auto key = keys.rbegin(); key != keys.rend(); ++key) fake(XCB_KEY_RELEASE, *key);
    return posted;
}

std::optional<std::vector<xcb_keycode_t>> X11EventPoster::unheldModifierKeys(EventFlags flags) {
    std::vector<const char*> names;
    for (const EventFlags flag : modifierFlagsInPressOrder) {
        if (!(flags & flag)) continue;
        const bool held = std::any_of(heldModifierKeys_.begin(), heldModifierKeys_.end(),
                                      [&](KeyCode key) { return modifierKeyPosition(key)->flag == flag; });
        if (!held) names.push_back(xkbKeyNameOfFlag(flag));
    }
    std::vector<xcb_keycode_t> keys;
    if (names.empty()) return keys;
    const auto current = keymap();
    if (!current) return std::nullopt;
    for (const char* name : names) {
        const xcb_keycode_t key = current->keycodeOfName(name);
        if (key == 0) return std::nullopt;
        keys.push_back(key);
    }
    return keys;
}

bool X11EventPoster::postKeyboard(const KeyboardEvent& event) {
    // The down types the text; its up has nothing left to release.
    if (!event.keyDown && textKeysDown_.erase(event.keyCode) != 0) return true;
    if (!event.unicodeString.empty()) {
        if (!event.keyDown) return true;
        const auto current = keymap();
        if (!current || !typeText(event.unicodeString, *current)) return false;
        textKeysDown_.insert(event.keyCode);
        return true;
    }
    const char* name = xkbKeyName(event.keyCode);
    if (name == nullptr) return false;
    const auto current = keymap();
    const xcb_keycode_t key = current ? current->keycodeOfName(name) : 0;
    if (key == 0) return false;
    const std::uint8_t type = event.keyDown ? XCB_KEY_PRESS : XCB_KEY_RELEASE;
    if (const auto modifier = modifierKeyPosition(event.keyCode)) {
        fake(type, key);
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
    return holding(*around, [&] {
        fake(type, key);
        return true;
    });
}

bool X11EventPoster::typeText(const std::u16string& text, const X11Keymap& current) {
    const std::vector<xcb_keycode_t> spare = current.spareKeycodes(spareKeycodeCount);
    std::vector<BorrowedKey> borrowed;
    bool typed = true;
    for (const char32_t scalar : unicodeScalars(text)) {
        const xkb_keysym_t keysym = xkb_utf32_to_keysym(scalar);
        if (keysym == XKB_KEY_NoSymbol) {
            typed = false;
            break;
        }
        if (const auto stroke = current.strokeOf(keysym)) {
            holding(stroke->modifiers, [&] {
                tap(stroke->keycode);
                return true;
            });
            continue;
        }
        auto mapped = std::find_if(borrowed.begin(), borrowed.end(),
                                   [&](const BorrowedKey& key) { return key.keysym == keysym; });
        if (mapped == borrowed.end()) {
            if (spare.empty()) {
                typed = false;
                break;
            }
            if (borrowed.size() == spare.size()) giveBack(borrowed);
            if (!borrow(spare[borrowed.size()], keysym, borrowed)) {
                typed = false;
                break;
            }
            mapped = borrowed.end() - 1;
        }
        tap(mapped->keycode);
    }
    giveBack(borrowed);
    return typed;
}

bool X11EventPoster::borrow(xcb_keycode_t keycode, xkb_keysym_t keysym, std::vector<BorrowedKey>& borrowed) {
    const auto mapping =
        connection_.reply<xcb_get_keyboard_mapping_reply_t>(xcb_get_keyboard_mapping(connection_.get(), keycode, 1));
    if (!mapping) return false;
    const xcb_keysym_t* saved = xcb_get_keyboard_mapping_keysyms(mapping.get());
    BorrowedKey key{keycode,
                    keysym,
                    mapping->keysyms_per_keycode,
                    {saved, saved + xcb_get_keyboard_mapping_keysyms_length(mapping.get())}};
    const xcb_keysym_t both[2] = {keysym, keysym};
    xcb_change_keyboard_mapping(connection_.get(), 1, keycode, 2, both);
    borrowed.push_back(std::move(key));
    return true;
}

void X11EventPoster::giveBack(std::vector<BorrowedKey>& borrowed) {
    if (borrowed.empty()) return;
    connection_.roundTrip();
    std::this_thread::sleep_for(borrowedKeySettleTime);
    for (const auto& key : borrowed) {
        if (key.savedPerKeycode == 0 || key.saved.size() != key.savedPerKeycode) continue;
        xcb_change_keyboard_mapping(connection_.get(), 1, key.keycode, key.savedPerKeycode, key.saved.data());
    }
    borrowed.clear();
    connection_.roundTrip();
}

bool X11EventPoster::moveTo(Point location) {
    const auto x = rootCoordinate(location.x), y = rootCoordinate(location.y);
    if (!x || !y) return false;
    fake(XCB_MOTION_NOTIFY, 0, *x, *y);
    return true;
}

bool X11EventPoster::postMouse(const MouseEvent& event) {
    const auto change = mouseButtonChange(event.type);
    const std::uint8_t type = change && !change->pressed ? XCB_BUTTON_RELEASE : XCB_BUTTON_PRESS;
    const auto around = unheldModifierKeys(type == XCB_BUTTON_RELEASE ? 0 : event.flags);
    if (!around) return false;
    // The server counts no clicks: a toolkit counts a press that follows the
    // last within its double-click time and distance as the next click.
    return holding(*around, [&] {
        if (!moveTo(event.location)) return false;
        if (change) fake(type, numberOf(change->button));
        return true;
    });
}

void X11EventPoster::wheel(std::uint8_t positiveButton, std::uint8_t negativeButton, std::int32_t clicks) {
    const std::uint8_t button = clicks > 0 ? positiveButton : negativeButton;
    for (std::int32_t click = 0; click < std::abs(clicks); ++click) {
        fake(XCB_BUTTON_PRESS, button);
        fake(XCB_BUTTON_RELEASE, button);
    }
}

bool X11EventPoster::postScroll(const ScrollEvent& event) {
    const auto clicks = wheelClicks_.of(event);
    if (clicks.vertical == 0 && clicks.horizontal == 0) return true;
    const auto around = unheldModifierKeys(event.flags);
    if (!around) return false;
    return holding(*around, [&] {
        if (!moveTo(event.location)) return false;
        wheel(wheelUp, wheelDown, clicks.vertical);
        wheel(wheelLeft, wheelRight, clicks.horizontal);
        return true;
    });
}

bool X11EventPoster::postSystemDefined(const SystemDefinedEvent& event) {
    const auto media = mediaKeyStroke(event);
    if (!media) return false;
    const auto current = keymap();
    const auto stroke = current ? current->strokeOf(media->keysym) : std::nullopt;
    if (!stroke) return false;
    fake(media->down ? XCB_KEY_PRESS : XCB_KEY_RELEASE, stroke->keycode);
    return true;
}

}  // namespace zentrabo::platform
