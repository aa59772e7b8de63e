// Feeds arbitrary text to the reader of a toolkit's key-binding string of a
// menu item. A shortcut it finds is one character of at most four bytes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_require.hpp"
#include "platform/desktop/atspi/atspi_menu_shortcut.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto shortcut =
        zentrabo::platform::menuShortcutOfKeyBinding(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!shortcut) return 0;
    zentrabo::fuzzing::require(!shortcut->character.empty() && shortcut->character.size() <= 4);
    return 0;
}
