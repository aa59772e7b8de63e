#pragma once
// The shortcut of a menu item from its accessible key binding, in the two
// forms toolkits give. GTK's holds "mnemonic;mnemonic path;accelerator"
// ("n;<Alt>f:n;<Primary>n"), of which only the accelerator is a shortcut.
// Qt's is the key sequence alone ("Ctrl+Shift+N"), its modifier names
// possibly translated ("Strg+Umschalt+N"), and for an item with a mnemonic
// it is the mnemonic ("Alt+O" for "&Open"). The modifiers become the
// menu-item modifier bits the callers read: Primary, Control and Ctrl are
// the command key, Alt the option key, Shift the shift key.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/desktop/accessible_menus.hpp"

namespace zentrabo::platform {

// None when the binding has no accelerator, when a modifier has no
// counterpart (Super, Meta, Hyper), when the key is not one printable
// character (Delete, F5), or when it is Qt's mnemonic: Alt alone with a
// character of the item's title.
std::optional<MenuShortcut> menuShortcutOfKeyBinding(std::string_view binding, std::string_view title = {});

}  // namespace zentrabo::platform
