#pragma once
// The X server's current keymap as libxkbcommon reads it through XKB: which
// keycode sits at a physical key (by its XKB name, "<AD06>"), which keycode
// and modifier keys type a keysym in the current layout, and which keycodes
// carry no symbol at all (free to borrow for a moment).
#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {

struct XkbContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};
using XkbContext = std::unique_ptr<xkb_context, XkbContextDeleter>;

class X11Keymap {
public:
    // A keysym as typed: the key and the modifier keys held around it.
    struct Stroke {
        xcb_keycode_t keycode = 0;
        std::vector<xcb_keycode_t> modifiers;
    };

    // The core keyboard's keymap and current layout; none when the server has
    // no XKB. The connection must have been set up for XKB (setUp).
    static std::optional<X11Keymap> read(xcb_connection_t* connection, xkb_context* context);
    // Announces our XKB version on a new connection; false without XKB.
    static bool setUp(xcb_connection_t* connection);

    // The keycode of the key with the XKB name ("AD06"); 0 when absent.
    xcb_keycode_t keycodeOfName(const char* name) const;
    // The stroke that types the keysym in the current layout with the fewest
    // modifiers: Shift, Alt and the third level are held by their own keys,
    // a symbol that needs any other modifier is not typed this way.
    std::optional<Stroke> strokeOf(xkb_keysym_t keysym) const;
    // Up to count keycodes that carry no symbol, highest first.
    std::vector<xcb_keycode_t> spareKeycodes(std::size_t count) const;

    // The layout (group) keys type in now, and each layout's name as the
    // keymap gives it ("German"; empty when it has none).
    xkb_layout_index_t currentLayout() const { return layout_; }
    xkb_layout_index_t layoutCount() const { return xkb_keymap_num_layouts(keymap_.get()); }
    std::string layoutName(xkb_layout_index_t layout) const;

private:
    struct KeymapDeleter {
        void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
    };
    X11Keymap(xkb_keymap* keymap, xkb_layout_index_t layout) : keymap_(keymap), layout_(layout) {}

    // The keycode whose first level is the keysym in the current layout.
    xcb_keycode_t plainKeycodeOf(xkb_keysym_t keysym) const;
    // The keys that hold the modifiers of the mask; none when one of them has
    // no key of ours.
    std::optional<std::vector<xcb_keycode_t>> modifierKeys(xkb_mod_mask_t mask) const;

    std::unique_ptr<xkb_keymap, KeymapDeleter> keymap_;
    xkb_layout_index_t layout_ = 0;
};

}  // namespace zentrabo::platform
