#include "platform/desktop/x11/xkb_rules_names.hpp"

#include "platform/desktop/input_source_preferences.hpp"

namespace zentrabo::platform {

namespace {

// The index-th NUL-terminated field; empty past the end.
std::string_view field(std::string_view property, std::size_t index) {
    for (; index > 0; --index) {
        const auto end = property.find('\0');
        if (end == std::string_view::npos) return {};
        property.remove_prefix(end + 1);
    }
    return property.substr(0, property.find('\0'));
}

std::vector<std::string_view> commaSeparated(std::string_view list) {
    std::vector<std::string_view> items;
    for (;;) {
        const auto comma = list.find(',');
        items.push_back(list.substr(0, comma));
        if (comma == std::string_view::npos) return items;
        list.remove_prefix(comma + 1);
    }
}

}  // namespace

std::string XkbLayoutChoice::identifier() const { return xkbInputSourceIdentifier(layout, variant); }

std::vector<XkbLayoutChoice> layoutsOfRulesNames(std::string_view property) {
    constexpr std::size_t layoutField = 2, variantField = 3;
    const std::string_view layouts = field(property, layoutField);
    if (layouts.empty()) return {};
    const auto variants = commaSeparated(field(property, variantField));
    std::vector<XkbLayoutChoice> choices;
    std::size_t index = 0;
    for (const auto layout : commaSeparated(layouts)) {
        const std::string_view variant = index < variants.size() ? variants[index] : std::string_view();
        choices.push_back({std::string(layout), std::string(variant)});
        ++index;
    }
    return choices;
}

}  // namespace zentrabo::platform
