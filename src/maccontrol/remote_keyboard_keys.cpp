// The key tables of remote keyboard input: media keys, the keys that are
// never text, and the key that types one character.
#include "maccontrol/key_names.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "platform/text/case_mapping.hpp"

namespace zentrabo {

namespace {

// System-defined auxiliary key types.
constexpr std::pair<std::string_view, std::int64_t> mediaKeys[] = {
    {"volumeup", 0},
    {"volume-up", 0},
    {"volumedown", 1},
    {"volume-down", 1},
    {"brightnessup", 2},
    {"brightness-up", 2},
    {"brightnessdown", 3},
    {"brightness-down", 3},
    {"mute", 7},
    {"keyboardbrightnessup", 21},
    {"keyboard-brightness-up", 21},
    {"illuminationup", 21},
    {"illumination-up", 21},
    {"keyboardbrightnessdown", 22},
    {"keyboard-brightness-down", 22},
    {"illuminationdown", 22},
    {"illumination-down", 22},
};

// Keys that always go as key presses, even when the device sent characters
// with them. Space, the function keys and single characters are not here.
constexpr std::string_view nonTextKeys[] = {
    "return",        "enter",          "escape",        "esc",       "tab",        "delete",    "backspace",
    "forwarddelete", "forward-delete", "deleteforward", "insert",    "up",         "arrowup",   "down",
    "arrowdown",     "left",           "arrowleft",     "right",     "arrowright", "home",      "end",
    "pageup",        "page-up",        "pagedown",      "page-down", "capslock",   "caps-lock",
};

// Symbols typed with shift on the US layout, by the character of their key.
constexpr std::pair<std::string_view, std::string_view> shiftedUSSymbols[] = {
    {"!", "1"},  {"@", "2"}, {"#", "3"},  {"$", "4"}, {"%", "5"}, {"^", "6"}, {"&", "7"},
    {"*", "8"},  {"(", "9"}, {")", "0"},  {"_", "-"}, {"+", "="}, {"{", "["}, {"}", "]"},
    {"|", "\\"}, {":", ";"}, {"\"", "'"}, {"<", ","}, {">", "."}, {"?", "/"}, {"~", "`"},
};

}  // namespace

std::optional<std::int64_t> DesktopController::mediaKeyType(std::string_view name) {
    const std::string key = normalizedKeyName(name);
    for (const auto& [mediaKey, type] : mediaKeys) {
        if (mediaKey == key) return type;
    }
    return std::nullopt;
}

bool DesktopController::isTextKey(std::string_view key) {
    const std::string name = normalizedKeyName(key);
    for (const auto nonText : nonTextKeys) {
        if (nonText == name) return false;
    }
    return !mediaKeyType(name);
}

std::optional<DesktopController::KeyStroke> DesktopController::keyStroke(std::string_view character) {
    if (usesGermanKeyboardLayout()) {
        if (auto german = germanKeyStroke(character)) return german;
    }
    const std::string lower = platform::lowercased(character);
    if (const auto code = keyCode(lower)) {
        return KeyStroke{*code, lower != character ? platform::eventflag::shift : platform::EventFlags{0}};
    }
    for (const auto& [symbol, unshifted] : shiftedUSSymbols) {
        if (symbol != character) continue;
        if (const auto code = keyCode(unshifted)) return KeyStroke{*code, platform::eventflag::shift};
    }
    return std::nullopt;
}

}  // namespace zentrabo
