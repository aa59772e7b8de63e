#include "platform/desktop/x11/x11_keyboard_layout.hpp"

#include "platform/desktop/input_source_preferences.hpp"
#include "platform/desktop/x11/x11_properties.hpp"
#include "platform/desktop/x11/xkb_rules_names.hpp"

namespace zentrabo::platform {

X11KeyboardLayout::X11KeyboardLayout(const std::string& display)
    : connection_(display), context_(xkb_context_new(XKB_CONTEXT_NO_FLAGS)) {}

std::optional<PropertyListValue> X11KeyboardLayout::textInputPreferences() {
    std::lock_guard locked(mutex_);
    if (!connection_.usable()) return std::nullopt;
    if (readyOpening_ != connection_.opening()) {
        readyOpening_ = connection_.opening();
        ready_ = context_ && X11Keymap::setUp(connection_.get());
    }
    if (!ready_) return std::nullopt;
    PropertyRead rulesNames(connection_, connection_.root(), connection_.atom("_XKB_RULES_NAMES"), XCB_ATOM_STRING);
    const auto keymap = X11Keymap::read(connection_.get(), context_.get());
    if (!keymap) return std::nullopt;
    const auto layouts = layoutsOfRulesNames(rulesNames.text().value_or(""));

    std::vector<SelectedInputSource> sources;
    for (xkb_layout_index_t index = 0; index < layouts.size(); ++index) {
        // A layout the keymap leaves unnamed goes by its XKB name.
        std::string name = index < keymap->layoutCount() ? keymap->layoutName(index) : std::string();
        if (name.empty()) name = layouts[index].layout;
        sources.push_back({std::move(name), layouts[index].identifier()});
    }
    return textInputPreferencesOf(sources, keymap->currentLayout());
}

}  // namespace zentrabo::platform
