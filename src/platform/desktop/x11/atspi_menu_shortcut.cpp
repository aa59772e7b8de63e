#include "platform/desktop/x11/atspi_menu_shortcut.hpp"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <utility>

namespace zentrabo::platform {
namespace {

constexpr std::array<std::pair<std::string_view, std::int64_t>, 4> kModifiers{{
    {"Primary", 0},
    {"Control", 0},
    {"Alt", menumodifier::option},
    {"Shift", menumodifier::shift},
}};

std::optional<std::int64_t> modifierBit(std::string_view name) {
    for (const auto& [known, bit] : kModifiers) {
        if (known == name) return bit;
    }
    return std::nullopt;
}

std::string utf8Of(xkb_keysym_t keysym) {
    std::array<char, 8> buffer{};
    const int length = xkb_keysym_to_utf8(keysym, buffer.data(), buffer.size());
    return length > 1 ? std::string(buffer.data(), static_cast<std::size_t>(length - 1)) : std::string();
}

}  // namespace

std::optional<MenuShortcut> menuShortcutOfKeyBinding(std::string_view binding) {
    const auto first = binding.find(';');
    const auto second = first == std::string_view::npos ? first : binding.find(';', first + 1);
    if (second == std::string_view::npos) return std::nullopt;
    std::string_view accelerator = binding.substr(second + 1);

    bool command = false;
    std::int64_t modifiers = 0;
    while (accelerator.starts_with('<')) {
        const auto end = accelerator.find('>');
        if (end == std::string_view::npos) return std::nullopt;
        const auto name = accelerator.substr(1, end - 1);
        const auto bit = modifierBit(name);
        if (!bit) return std::nullopt;
        if (name == "Primary" || name == "Control") command = true;
        modifiers |= *bit;
        accelerator.remove_prefix(end + 1);
    }
    if (accelerator.empty()) return std::nullopt;

    // The key is a key symbol name ("n", "plus", "F5"): a shortcut only when
    // it types one printable character.
    const std::string keyName(accelerator);
    const xkb_keysym_t keysym = xkb_keysym_from_name(keyName.c_str(), XKB_KEYSYM_NO_FLAGS);
    const std::uint32_t codePoint = keysym == XKB_KEY_NoSymbol ? 0 : xkb_keysym_to_utf32(keysym);
    if (codePoint <= 0x20 || (codePoint >= 0x7f && codePoint < 0xa0)) return std::nullopt;
    if (!command) modifiers |= menumodifier::noCommand;
    return MenuShortcut{utf8Of(keysym), modifiers};
}

}  // namespace zentrabo::platform
