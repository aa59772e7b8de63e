#pragma once
// The shortcut of a menu item from its accessible key binding. The binding
// holds "mnemonic;mnemonic path;accelerator" (GTK writes
// "n;<Alt>f:n;<Primary>n"); only the accelerator is a shortcut. Its
// modifiers become the menu-item modifier bits the callers read: Primary and
// Control are the command key, Alt the option key, Shift the shift key.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

namespace menumodifier {
inline constexpr std::int64_t shift = 1;
inline constexpr std::int64_t option = 2;
inline constexpr std::int64_t control = 4;
inline constexpr std::int64_t noCommand = 8;
}  // namespace menumodifier

struct MenuShortcut {
    // One character, UTF-8, as the accelerator names it.
    std::string character;
    std::int64_t modifiers = 0;
    bool operator==(const MenuShortcut&) const = default;
};

// None when the binding has no accelerator, when a modifier has no
// counterpart (Super, Meta, Hyper) or when the key is not one printable
// character (Delete, F5).
std::optional<MenuShortcut> menuShortcutOfKeyBinding(std::string_view binding);

}  // namespace zentrabo::platform
