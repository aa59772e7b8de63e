#pragma once
// An application's menus as the accessibility interface reads and presses
// them in one call: typed items with the role name callers see, and the
// bounds one such call keeps to.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace zentrabo::platform {

// Bits of a menu item's modifier value: the command key is implied unless
// noCommand is set.
namespace menumodifier {
inline constexpr std::int64_t shift = 1;
inline constexpr std::int64_t option = 2;
inline constexpr std::int64_t control = 4;
inline constexpr std::int64_t noCommand = 8;
}  // namespace menumodifier

struct MenuShortcut {
    // One key, UTF-8, as the toolkit names it.
    std::string character;
    std::int64_t modifiers = 0;
    bool operator==(const MenuShortcut&) const = default;
};

struct AccessibleMenuItem {
    // As the application gives it, untrimmed; empty for a separator.
    std::string title;
    // The role name callers see, from the backend's role table.
    std::string role;
    bool enabled = true;
    std::optional<MenuShortcut> shortcut;
    std::vector<AccessibleMenuItem> children;
};

// What one menu read or press may cost: the items it visits, how deep it
// goes (the menu bar's items are at depth 1), how long one call to the
// application may take and how long the whole may take.
struct MenuReadLimits {
    std::size_t maxItems = 20000;
    std::size_t maxDepth = 16;
    std::chrono::milliseconds perCall{1000};
    std::chrono::milliseconds inAll{60000};
};

// The menu bar's items and their submenus. error is success, noValue when
// the application has no menu bar, invalidUIElement when it is not (or no
// longer) on the accessibility bus, cannotComplete when it did not answer
// or the read ran out of time, apiDisabled when accessibility is off; an
// application without an accessible tree answers another error. A read cut
// short keeps what it read.
struct MenuTreeRead {
    std::int32_t error = 0;
    // Whether the menu bar was found: the error is then the walk's.
    bool menuBarFound = false;
    std::vector<AccessibleMenuItem> items;
};

// Picks the item to follow at one level of a path (0: the menu bar's
// items) by the titles there; none when no title fits.
using MenuItemChooser =
    std::function<std::optional<std::size_t>(std::size_t level, const std::vector<std::string>& titles)>;

struct MenuPressResult {
    enum class Outcome : std::uint8_t { pressed, menuUnreadable, itemNotFound, itemDisabled, pressFailed };
    Outcome outcome = Outcome::menuUnreadable;
    // For menuUnreadable: the error, as a menu read's.
    std::int32_t error = 0;
    // For itemNotFound: the level where nothing fitted.
    std::size_t level = 0;
};

}  // namespace zentrabo::platform
