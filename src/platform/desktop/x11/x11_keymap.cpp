#include "platform/desktop/x11/x11_keymap.hpp"

#include <xkbcommon/xkbcommon-x11.h>

#include <cstring>
#include <string>

namespace zentrabo::platform {

namespace {

struct StateDeleter {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};

// The keys that hold a modifier while typing, by the modifier's name.
struct ModifierKey {
    const char* modifier;
    xkb_keysym_t keysym;
};
constexpr ModifierKey modifierKeysByName[] = {
    {XKB_MOD_NAME_SHIFT, XKB_KEY_Shift_L},
    {XKB_MOD_NAME_ALT, XKB_KEY_Alt_L},
    {"Mod5", XKB_KEY_ISO_Level3_Shift},
};

}  // namespace

bool X11Keymap::setUp(xcb_connection_t* connection) {
    return xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                       XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr) == 1;
}

std::optional<X11Keymap> X11Keymap::read(xcb_connection_t* connection, xkb_context* context) {
    const std::int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
    if (device < 0) return std::nullopt;
    xkb_keymap* keymap = xkb_x11_keymap_new_from_device(context, connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (!keymap) return std::nullopt;
    const std::unique_ptr<xkb_state, StateDeleter> state(xkb_x11_state_new_from_device(keymap, connection, device));
    const xkb_layout_index_t layout =
        state ? xkb_state_serialize_layout(state.get(), XKB_STATE_LAYOUT_EFFECTIVE) : xkb_layout_index_t{0};
    return X11Keymap(keymap, layout);
}

std::string X11Keymap::layoutName(xkb_layout_index_t layout) const {
    const char* name = xkb_keymap_layout_get_name(keymap_.get(), layout);
    return name ? name : "";
}

xcb_keycode_t X11Keymap::keycodeOfName(const char* name) const {
    const xkb_keycode_t keycode = xkb_keymap_key_by_name(keymap_.get(), name);
    return keycode == XKB_KEYCODE_INVALID || keycode > 255 ? 0 : static_cast<xcb_keycode_t>(keycode);
}

xcb_keycode_t X11Keymap::plainKeycodeOf(xkb_keysym_t keysym) const {
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_.get()), 255);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_.get()); keycode <= last; ++keycode) {
        const xkb_keysym_t* symbols = nullptr;
        const int count = xkb_keymap_key_get_syms_by_level(keymap_.get(), keycode, layout_, 0, &symbols);
        if (count == 1 && symbols[0] == keysym) return static_cast<xcb_keycode_t>(keycode);
    }
    return 0;
}

std::optional<std::vector<xcb_keycode_t>> X11Keymap::modifierKeys(xkb_mod_mask_t mask) const {
    std::vector<xcb_keycode_t> keys;
    for (const auto& [modifier, keysym] : modifierKeysByName) {
        const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap_.get(), modifier);
        if (index == XKB_MOD_INVALID || !(mask & (xkb_mod_mask_t{1} << index))) continue;
        const xcb_keycode_t key = plainKeycodeOf(keysym);
        if (key == 0) return std::nullopt;
        keys.push_back(key);
        mask &= ~(xkb_mod_mask_t{1} << index);
    }
    if (mask != 0) return std::nullopt;
    return keys;
}

std::optional<X11Keymap::Stroke> X11Keymap::strokeOf(xkb_keysym_t keysym) const {
    std::optional<Stroke> best;
    const xkb_keycode_t last = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_.get()), 255);
    for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_.get()); keycode <= last; ++keycode) {
        const xkb_level_index_t levels = xkb_keymap_num_levels_for_key(keymap_.get(), keycode, layout_);
        for (xkb_level_index_t level = 0; level < levels; ++level) {
            const xkb_keysym_t* symbols = nullptr;
            if (xkb_keymap_key_get_syms_by_level(keymap_.get(), keycode, layout_, level, &symbols) != 1 ||
                symbols[0] != keysym) {
                continue;
            }
            xkb_mod_mask_t masks[4] = {};
            const std::size_t maskCount =
                xkb_keymap_key_get_mods_for_level(keymap_.get(), keycode, layout_, level, masks, std::size(masks));
            for (std::size_t at = 0; at < maskCount; ++at) {
                auto keys = modifierKeys(masks[at]);
                if (!keys || (best && best->modifiers.size() <= keys->size())) continue;
                best = Stroke{static_cast<xcb_keycode_t>(keycode), std::move(*keys)};
                if (best->modifiers.empty()) return best;
            }
        }
    }
    return best;
}

std::vector<xcb_keycode_t> X11Keymap::spareKeycodes(std::size_t count) const {
    std::vector<xcb_keycode_t> spare;
    const xkb_keycode_t first = std::max<xkb_keycode_t>(xkb_keymap_min_keycode(keymap_.get()), 8);
    for (xkb_keycode_t keycode = std::min<xkb_keycode_t>(xkb_keymap_max_keycode(keymap_.get()), 255);
         keycode >= first && spare.size() < count; --keycode) {
        if (xkb_keymap_num_layouts_for_key(keymap_.get(), keycode) == 0) {
            spare.push_back(static_cast<xcb_keycode_t>(keycode));
        }
    }
    return spare;
}

}  // namespace zentrabo::platform
