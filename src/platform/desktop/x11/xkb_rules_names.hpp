#pragma once
// The layouts an X11 session was configured with, as the root window's
// _XKB_RULES_NAMES property names them: five NUL-terminated strings (rules,
// model, layouts, variants, options), the layouts and their variants as
// comma-separated lists of the same length ("us,de" and ",nodeadkeys").
#include <string>
#include <string_view>
#include <vector>

namespace zentrabo::platform {

struct XkbLayoutChoice {
    std::string layout;   // "de"
    std::string variant;  // "nodeadkeys", or empty

    // The layout's input source identifier ("org.freedesktop.xkb.de").
    std::string identifier() const;
};

// The layouts in group order; none for a property without a layout list.
std::vector<XkbLayoutChoice> layoutsOfRulesNames(std::string_view property);

}  // namespace zentrabo::platform
