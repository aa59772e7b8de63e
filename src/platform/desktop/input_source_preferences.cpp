#include "platform/desktop/input_source_preferences.hpp"

namespace zentrabo::platform {

std::string xkbInputSourceIdentifier(const std::string& layout, const std::string& variant) {
    return "org.freedesktop.xkb." + layout + (variant.empty() ? "" : "(" + variant + ")");
}

PropertyListValue textInputPreferencesOf(const std::vector<SelectedInputSource>& sources,
                                         std::optional<std::size_t> current) {
    PropertyListValue::Dictionary suite;
    if (current && *current < sources.size()) {
        suite.emplace_back("AppleCurrentKeyboardLayoutInputSourceID", sources[*current].identifier);
    }
    PropertyListValue::Array selected;
    for (const auto& source : sources) {
        selected.emplace_back(PropertyListValue::Storage(PropertyListValue::Dictionary{
            {"KeyboardLayout Name", source.name}, {"InputSource ID", source.identifier}}));
    }
    suite.emplace_back("AppleSelectedInputSources", PropertyListValue(PropertyListValue::Storage(std::move(selected))));
    return PropertyListValue(PropertyListValue::Storage(std::move(suite)));
}

}  // namespace zentrabo::platform
