// The configured layouts read from the root window's _XKB_RULES_NAMES bytes.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <string_view>

#include "platform/desktop/x11/xkb_rules_names.hpp"

namespace zentrabo::platform {
namespace {

using namespace std::string_view_literals;

TEST(XkbRulesNamesTest, LayoutsPairWithTheirVariantsInGroupOrder) {
    const std::pair<std::string_view, std::string> cases[] = {
        {"evdev\0pc105\0us\0\0\0"sv, "us"},
        {"evdev\0pc105\0us,de\0,nodeadkeys\0grp:alt_shift_toggle\0"sv, "us de(nodeadkeys)"},
        // Fewer variants than layouts: the rest have none.
        {"evdev\0pc105\0de,fr,ch\0neo\0\0"sv, "de(neo) fr ch"},
        {"evdev\0pc105\0de"sv, "de"},  // cut off after the layouts
        {"evdev\0pc105\0\0\0\0"sv, ""},
        {"evdev\0pc105"sv, ""},
        {""sv, ""},
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& [property, expected] = cases[index];
        std::string seen;
        for (const auto& choice : layoutsOfRulesNames(property)) {
            seen +=
                (seen.empty() ? "" : " ") + choice.layout + (choice.variant.empty() ? "" : "(" + choice.variant + ")");
        }
        EXPECT_EQ(seen, expected) << "case " << index;
    }
}

}  // namespace
}  // namespace zentrabo::platform
