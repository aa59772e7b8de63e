#pragma once
// The rules a desktop scenario must keep, and the shortcut text it uses.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/desktop/accessible_menus.hpp"
#include "platform/desktop/virtual/desktop_scenario.hpp"

namespace zentrabo::platform {

// A scenario that cannot be used; the message names the fault (and the file,
// for one read from a file).
class ScenarioError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws ScenarioError naming the first fault found, with its place in the
// scenario ("applications[1].menus[0].items[2]: ...").
void validateScenario(const DesktopScenario& scenario);

// "cmd+shift+S" -> S with value 1; "control+F2" -> F2 with value 12; none
// for an empty key or an unknown modifier word.
std::optional<MenuShortcut> parseMenuShortcut(std::string_view text);

}  // namespace zentrabo::platform
