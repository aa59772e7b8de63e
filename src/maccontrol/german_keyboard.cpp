// The German keyboard layout: whether the user types on it, and which key
// (with which flags) types a character there.
#include "maccontrol/desktop_controller.hpp"
#include "platform/text/case_mapping.hpp"

namespace zentrabo {

using platform::PropertyListValue;
namespace eventflag = platform::eventflag;

namespace {

struct GermanKey {
    std::string_view character;
    platform::KeyCode keyCode;
    platform::EventFlags flags;
};

constexpr auto shift = eventflag::shift;
constexpr auto option = eventflag::option;

// Searched in this order: unshifted, shifted, then with option. The key
// codes name physical keys, so y and z swap places against the US layout.
constexpr GermanKey germanKeys[] = {
    {"a", 0, 0},       {"s", 1, 0},       {"d", 2, 0},       {"f", 3, 0},
    {"h", 4, 0},       {"g", 5, 0},       {"y", 6, 0},       {"x", 7, 0},
    {"c", 8, 0},       {"v", 9, 0},       {"b", 11, 0},      {"q", 12, 0},
    {"w", 13, 0},      {"e", 14, 0},      {"r", 15, 0},      {"z", 16, 0},
    {"t", 17, 0},      {"1", 18, 0},      {"2", 19, 0},      {"3", 20, 0},
    {"4", 21, 0},      {"6", 22, 0},      {"5", 23, 0},      {"9", 25, 0},
    {"7", 26, 0},      {"ß", 27, 0},      {"8", 28, 0},      {"0", 29, 0},
    {"+", 30, 0},      {"o", 31, 0},      {"u", 32, 0},      {"ü", 33, 0},
    {"i", 34, 0},      {"p", 35, 0},      {"l", 37, 0},      {"j", 38, 0},
    {"ä", 39, 0},      {"k", 40, 0},      {"ö", 41, 0},      {"#", 42, 0},
    {",", 43, 0},      {"-", 44, 0},      {"n", 45, 0},      {"m", 46, 0},
    {".", 47, 0},

    {"A", 0, shift},   {"S", 1, shift},   {"D", 2, shift},   {"F", 3, shift},
    {"H", 4, shift},   {"G", 5, shift},   {"Y", 6, shift},   {"X", 7, shift},
    {"C", 8, shift},   {"V", 9, shift},   {"B", 11, shift},  {"Q", 12, shift},
    {"W", 13, shift},  {"E", 14, shift},  {"R", 15, shift},  {"Z", 16, shift},
    {"T", 17, shift},  {"!", 18, shift},  {"\"", 19, shift}, {"§", 20, shift},
    {"$", 21, shift},  {"&", 22, shift},  {"%", 23, shift},  {")", 25, shift},
    {"/", 26, shift},  {"?", 27, shift},  {"(", 28, shift},  {"=", 29, shift},
    {"*", 30, shift},  {"O", 31, shift},  {"U", 32, shift},  {"Ü", 33, shift},
    {"I", 34, shift},  {"P", 35, shift},  {"L", 37, shift},  {"J", 38, shift},
    {"Ä", 39, shift},  {"K", 40, shift},  {"Ö", 41, shift},  {"'", 42, shift},
    {";", 43, shift},  {"_", 44, shift},  {"N", 45, shift},  {"M", 46, shift},
    {":", 47, shift},

    {"@", 37, option}, {"€", 14, option}, {"[", 23, option}, {"]", 22, option},
    {"{", 28, option}, {"}", 25, option}, {"|", 26, option}, {"\\", 26, option | shift},
    {"~", 45, option},
};

bool namesGermanLayout(const std::string& identifier) {
    return identifier.find("german") != std::string::npos || identifier.find(".de") != std::string::npos;
}

std::string lowercasedString(const PropertyListValue& dictionary, std::string_view key) {
    const auto* value = dictionary.find(key);
    return value && value->string() ? platform::lowercased(*value->string()) : std::string();
}

}  // namespace

bool DesktopController::usesGermanKeyboardLayout() {
    const auto preferences = desktop_.keyboardLayout().textInputPreferences();
    if (!preferences) return false;
    if (namesGermanLayout(lowercasedString(*preferences, "AppleCurrentKeyboardLayoutInputSourceID"))) return true;

    const auto* sources = preferences->find("AppleSelectedInputSources");
    if (!sources || !sources->array()) return false;
    // A list holding anything but dictionaries is not read at all.
    for (const auto& source : *sources->array()) {
        if (!source.dictionary()) return false;
    }
    for (const auto& source : *sources->array()) {
        const std::string name = lowercasedString(source, "KeyboardLayout Name");
        if (name.find("german") != std::string::npos) return true;
        if (namesGermanLayout(lowercasedString(source, "InputSource ID"))) return true;
    }
    return false;
}

std::optional<DesktopController::KeyStroke> DesktopController::germanKeyStroke(std::string_view character) {
    for (const auto& key : germanKeys) {
        if (key.character == character) return KeyStroke{key.keyCode, key.flags};
    }
    return std::nullopt;
}

}  // namespace zentrabo
