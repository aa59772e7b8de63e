#include "platform/desktop/atspi/atspi_menu_shortcut.hpp"

#include <glib.h>
#include <xkbcommon/xkbcommon.h>

#include <array>
#include <utility>

namespace zentrabo::platform {
namespace {

enum class Modifier { command, option, shift, unexpressible };

struct ModifierName {
    std::string_view name;
    Modifier modifier;
};

// GTK's accelerator names ("<Primary>").
constexpr std::array<ModifierName, 7> kGtkModifiers{{
    {"Primary", Modifier::command},
    {"Control", Modifier::command},
    {"Alt", Modifier::option},
    {"Shift", Modifier::shift},
    {"Super", Modifier::unexpressible},
    {"Meta", Modifier::unexpressible},
    {"Hyper", Modifier::unexpressible},
}};

// Qt's names ("Ctrl+"), in English and as its own translations write them.
constexpr std::array<ModifierName, 17> kQtModifiers{{
    {"Ctrl", Modifier::command},
    {"Strg", Modifier::command},
    {"Control", Modifier::command},
    {"کنترل", Modifier::command},
    {"Alt", Modifier::option},
    {"دگرساز", Modifier::option},
    {"Shift", Modifier::shift},
    {"Umschalt", Modifier::shift},
    {"Maj", Modifier::shift},
    {"Skift", Modifier::shift},
    {"Mayúsculas", Modifier::shift},
    {"Vaihto", Modifier::shift},
    {"شیفت", Modifier::shift},
    {"Meta", Modifier::unexpressible},
    {"Méta", Modifier::unexpressible},
    {"متا", Modifier::unexpressible},
    {"מטא", Modifier::unexpressible},
}};

template <std::size_t count>
std::optional<Modifier> modifierNamed(const std::array<ModifierName, count>& names, std::string_view name) {
    for (const auto& known : names) {
        if (known.name == name) return known.modifier;
    }
    return std::nullopt;
}

// Gathers modifiers into the callers' bits; false for one they cannot
// express.
class ModifierBits {
public:
    bool add(Modifier modifier) {
        switch (modifier) {
        case Modifier::command:
            command_ = true;
            return true;
        case Modifier::option:
            bits_ |= menumodifier::option;
            return true;
        case Modifier::shift:
            bits_ |= menumodifier::shift;
            return true;
        case Modifier::unexpressible:
            return false;
        }
        return false;
    }
    std::int64_t bits() const { return command_ ? bits_ : bits_ | menumodifier::noCommand; }

private:
    bool command_ = false;
    std::int64_t bits_ = 0;
};

bool isPrintable(std::uint32_t codePoint) { return codePoint > 0x20 && (codePoint < 0x7f || codePoint >= 0xa0); }

std::string utf8Of(xkb_keysym_t keysym) {
    std::array<char, 8> buffer{};
    const int length = xkb_keysym_to_utf8(keysym, buffer.data(), buffer.size());
    return length > 1 ? std::string(buffer.data(), static_cast<std::size_t>(length - 1)) : std::string();
}

// GTK's accelerator: modifiers in angle brackets, then a key symbol name
// ("n", "plus", "F5"), a shortcut only when it types one printable character.
std::optional<MenuShortcut> gtkShortcut(std::string_view accelerator) {
    ModifierBits modifiers;
    while (accelerator.starts_with('<')) {
        const auto end = accelerator.find('>');
        if (end == std::string_view::npos) return std::nullopt;
        const auto modifier = modifierNamed(kGtkModifiers, accelerator.substr(1, end - 1));
        if (!modifier || !modifiers.add(*modifier)) return std::nullopt;
        accelerator.remove_prefix(end + 1);
    }
    if (accelerator.empty()) return std::nullopt;
    const std::string keyName(accelerator);
    const xkb_keysym_t keysym = xkb_keysym_from_name(keyName.c_str(), XKB_KEYSYM_NO_FLAGS);
    const std::uint32_t codePoint = keysym == XKB_KEY_NoSymbol ? 0 : xkb_keysym_to_utf32(keysym);
    if (!isPrintable(codePoint)) return std::nullopt;
    return MenuShortcut{utf8Of(keysym), modifiers.bits()};
}

// The one printable character the text is, if it is one.
std::optional<std::uint32_t> soleCharacter(std::string_view text) {
    if (text.empty() || !g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return std::nullopt;
    const char* next = g_utf8_next_char(text.data());
    if (next != text.data() + text.size()) return std::nullopt;
    const gunichar codePoint = g_utf8_get_char(text.data());
    return isPrintable(codePoint) ? std::optional<std::uint32_t>(codePoint) : std::nullopt;
}

// Whether the title holds the character, letter case aside.
bool titleHolds(std::string_view title, std::uint32_t character) {
    if (!g_utf8_validate(title.data(), static_cast<gssize>(title.size()), nullptr)) return false;
    const gunichar wanted = g_unichar_tolower(character);
    for (const char* at = title.data(); at < title.data() + title.size(); at = g_utf8_next_char(at)) {
        if (g_unichar_tolower(g_utf8_get_char(at)) == wanted) return true;
    }
    return false;
}

// Qt's key sequence: names joined with "+", the key last ("Ctrl+Shift+N",
// "Ctrl++", "Alt+F4"); a sequence of several chords ("Ctrl+K, Ctrl+C") is
// none.
std::optional<MenuShortcut> qtShortcut(std::string_view sequence, std::string_view title) {
    std::string_view key;
    std::string_view names;
    if (sequence.ends_with('+')) {
        key = sequence.substr(sequence.size() - 1);
        names = sequence.substr(0, sequence.size() - 1);
        if (!names.empty() && !names.ends_with('+')) return std::nullopt;
    } else {
        const auto last = sequence.rfind('+');
        key = last == std::string_view::npos ? sequence : sequence.substr(last + 1);
        names = last == std::string_view::npos ? std::string_view() : sequence.substr(0, last + 1);
    }
    const auto character = soleCharacter(key);
    if (!character) return std::nullopt;

    ModifierBits modifiers;
    bool onlyOption = !names.empty();
    while (!names.empty()) {
        const auto end = names.find('+');
        const auto modifier = modifierNamed(kQtModifiers, names.substr(0, end));
        if (!modifier || !modifiers.add(*modifier)) return std::nullopt;
        onlyOption = onlyOption && *modifier == Modifier::option;
        names.remove_prefix(end + 1);
    }
    // Qt gives an item's mnemonic (Alt and a letter of its title) in place
    // of its shortcut; the mnemonic works only while the menu is open.
    if (onlyOption && titleHolds(title, *character)) return std::nullopt;
    return MenuShortcut{std::string(key), modifiers.bits()};
}

}  // namespace

std::optional<MenuShortcut> menuShortcutOfKeyBinding(std::string_view binding, std::string_view title) {
    const auto first = binding.find(';');
    const auto second = first == std::string_view::npos ? first : binding.find(';', first + 1);
    if (second != std::string_view::npos) return gtkShortcut(binding.substr(second + 1));
    if (binding.empty() || binding.find('<') != std::string_view::npos) return std::nullopt;
    return qtShortcut(binding, title);
}

}  // namespace zentrabo::platform
