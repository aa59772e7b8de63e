#pragma once
// The text-input preferences of a session whose keyboard layouts are XKB
// layouts: each configured layout by the keymap's name for it and its input
// source identifier, and which one is current.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/property_list.hpp"

namespace zentrabo::platform {

struct SelectedInputSource {
    std::string name;        // "German"
    std::string identifier;  // "org.freedesktop.xkb.de"
};

// "org.freedesktop.xkb.de", "org.freedesktop.xkb.de(nodeadkeys)": a layout's
// input source identifier, as XKB writes a layout and variant.
std::string xkbInputSourceIdentifier(const std::string& layout, const std::string& variant);

// "AppleCurrentKeyboardLayoutInputSourceID" (the current source's
// identifier, left out when none is current) and "AppleSelectedInputSources"
// (each source's "KeyboardLayout Name" and "InputSource ID").
PropertyListValue textInputPreferencesOf(const std::vector<SelectedInputSource>& sources,
                                         std::optional<std::size_t> current);

}  // namespace zentrabo::platform
