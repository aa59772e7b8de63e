#include "platform/desktop/gnome/gnome_keymap.hpp"

#include <gio/gio.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace zentrabo::platform {

namespace {

constexpr const char* inputSourcesSchema = "org.gnome.desktop.input-sources";

// The xkb source ids of a key of type a(ss), in order.
std::vector<std::string> xkbSources(GSettings* settings, GSettingsSchema* schema, const char* key) {
    std::vector<std::string> ids;
    if (!g_settings_schema_has_key(schema, key)) return ids;
    GVariant* value = g_settings_get_value(settings, key);
    if (g_variant_is_of_type(value, G_VARIANT_TYPE("a(ss)"))) {
        GVariantIter iterator;
        g_variant_iter_init(&iterator, value);
        const gchar* type = nullptr;
        const gchar* id = nullptr;
        while (g_variant_iter_next(&iterator, "(&s&s)", &type, &id)) {
            if (g_strcmp0(type, "xkb") == 0) ids.emplace_back(id);
        }
    }
    g_variant_unref(value);
    return ids;
}

}  // namespace

XkbLayoutName layoutOfInputSource(const std::string& sourceId) {
    const auto plus = sourceId.find('+');
    if (sourceId.empty()) return {};
    if (plus == std::string::npos) return {sourceId, ""};
    return {sourceId.substr(0, plus), sourceId.substr(plus + 1)};
}

std::optional<GnomeKeymap::InputSources> GnomeKeymap::inputSources() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, inputSourcesSchema, TRUE) : nullptr;
    // GSettings ends the process on a schema it cannot find.
    if (!schema) return std::nullopt;
    GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
    const auto sources = xkbSources(settings, schema, "sources");
    const auto used = xkbSources(settings, schema, "mru-sources");
    g_object_unref(settings);
    g_settings_schema_unref(schema);
    InputSources found;
    for (const auto& id : sources) found.layouts.push_back(layoutOfInputSource(id));
    for (const auto& id : used) {
        const auto place = std::find(sources.begin(), sources.end(), id);
        if (place != sources.end()) {
            found.current = static_cast<std::size_t>(place - sources.begin());
            break;
        }
    }
    if (!found.current && !sources.empty()) found.current = 0;
    return found;
}

XkbLayoutName GnomeKeymap::currentLayout() {
    const auto sources = inputSources();
    return sources && sources->current ? sources->layouts[*sources->current] : XkbLayoutName{};
}

GnomeKeymap::GnomeKeymap() : context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

GnomeKeymap::~GnomeKeymap() {
    if (keymap_) xkb_keymap_unref(keymap_);
    if (context_) xkb_context_unref(context_);
}

xkb_keymap* GnomeKeymap::currentKeymapLocked() {
    const XkbLayoutName layout = currentLayout();
    if (!context_) return nullptr;
    if (!keymap_ || layout != compiled_) {
        if (keymap_) xkb_keymap_unref(keymap_);
        keymap_ = compile(layout);
        compiled_ = layout;
    }
    return keymap_;
}

xkb_keymap* GnomeKeymap::compile(const XkbLayoutName& layout) const {
    const xkb_rule_names names{"evdev", "pc105", layout.layout.c_str(), layout.variant.c_str(), nullptr};
    return xkb_keymap_new_from_names(context_, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

std::string GnomeKeymap::layoutName(const XkbLayoutName& layout) {
    std::lock_guard locked(mutex_);
    if (!context_) return {};
    xkb_keymap* keymap = compile(layout);
    if (!keymap) return {};
    const char* name = xkb_keymap_layout_get_name(keymap, 0);
    std::string named = name ? name : "";
    xkb_keymap_unref(keymap);
    return named;
}

std::optional<std::uint32_t> GnomeKeymap::evdevCode(const char* keyName) {
    std::lock_guard locked(mutex_);
    xkb_keymap* keymap = currentKeymapLocked();
    const xkb_keycode_t key = keymap ? xkb_keymap_key_by_name(keymap, keyName) : XKB_KEYCODE_INVALID;
    // XKB numbers the evdev keys from 8.
    if (key == XKB_KEYCODE_INVALID || key < 8) return std::nullopt;
    return key - 8;
}

bool GnomeKeymap::types(xkb_keysym_t keysym) {
    std::lock_guard locked(mutex_);
    xkb_keymap* keymap = currentKeymapLocked();
    if (!keymap) return false;
    for (xkb_keycode_t key = xkb_keymap_min_keycode(keymap); key <= xkb_keymap_max_keycode(keymap); ++key) {
        for (xkb_level_index_t level = 0; level < xkb_keymap_num_levels_for_key(keymap, key, 0); ++level) {
            const xkb_keysym_t* symbols = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap, key, 0, level, &symbols);
            for (int index = 0; index < count; ++index) {
                if (symbols[index] == keysym) return true;
            }
        }
    }
    return false;
}

}  // namespace zentrabo::platform
