#include "platform/desktop/gnome/gnome_keyboard_layout.hpp"

#include "platform/desktop/input_source_preferences.hpp"

namespace zentrabo::platform {

std::optional<PropertyListValue> GnomeKeyboardLayout::textInputPreferences() {
    auto configured = GnomeKeymap::inputSources();
    if (!configured) return std::nullopt;
    // Without a source mutter types with its default, the US layout.
    if (configured->layouts.empty()) configured = GnomeKeymap::InputSources{{XkbLayoutName{}}, 0};
    std::vector<SelectedInputSource> sources;
    for (const auto& layout : configured->layouts) {
        std::string name = keymap_.layoutName(layout);
        // A layout the keymap leaves unnamed goes by its XKB name.
        if (name.empty()) name = layout.layout;
        sources.push_back({std::move(name), xkbInputSourceIdentifier(layout.layout, layout.variant)});
    }
    return textInputPreferencesOf(sources, configured->current);
}

}  // namespace zentrabo::platform
