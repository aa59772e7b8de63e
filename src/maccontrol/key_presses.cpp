// Key names to virtual key codes, modifier names to flags, and the key events
// that press a key with its modifier keys.
#include <algorithm>
#include <array>
#include <unordered_map>
#include <utility>

#include "maccontrol/key_event_sequence.hpp"
#include "maccontrol/key_names.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;
using platform::EventFlags;
using platform::KeyCode;
namespace eventflag = platform::eventflag;

namespace {

struct NamedKey {
    std::string_view name;
    KeyCode keyCode;
};

// "enter" is the keypad's Enter key, not Return.
constexpr NamedKey namedKeys[] = {
    {"return", 36},
    {"enter", 76},
    {"escape", 53},
    {"esc", 53},
    {"tab", 48},
    {"space", 49},
    {"delete", 51},
    {"backspace", 51},
    {"forwarddelete", 117},
    {"forward-delete", 117},
    {"deleteforward", 117},
    {"insert", 114},
    {"up", 126},
    {"arrowup", 126},
    {"down", 125},
    {"arrowdown", 125},
    {"left", 123},
    {"arrowleft", 123},
    {"right", 124},
    {"arrowright", 124},
    {"home", 115},
    {"end", 119},
    {"pageup", 116},
    {"page-up", 116},
    {"pagedown", 121},
    {"page-down", 121},
    {"capslock", 57},
    {"caps-lock", 57},
    {"f1", 122},
    {"f2", 120},
    {"f3", 99},
    {"f4", 118},
    {"f5", 96},
    {"f6", 97},
    {"f7", 98},
    {"f8", 100},
    {"f9", 101},
    {"f10", 109},
    {"f11", 103},
    {"f12", 111},
    {"+", 24},
};

// The keys of the US ANSI layout by the character they type unshifted.
constexpr std::pair<std::string_view, KeyCode> usCharacterKeys[] = {
    {"a", 0},   {"s", 1},  {"d", 2},  {"f", 3},  {"h", 4},  {"g", 5},  {"z", 6},  {"x", 7},  {"c", 8},  {"v", 9},
    {"b", 11},  {"q", 12}, {"w", 13}, {"e", 14}, {"r", 15}, {"y", 16}, {"t", 17}, {"1", 18}, {"2", 19}, {"3", 20},
    {"4", 21},  {"6", 22}, {"5", 23}, {"=", 24}, {"9", 25}, {"7", 26}, {"-", 27}, {"8", 28}, {"0", 29}, {"]", 30},
    {"o", 31},  {"u", 32}, {"[", 33}, {"i", 34}, {"p", 35}, {"l", 37}, {"j", 38}, {"'", 39}, {"k", 40}, {";", 41},
    {"\\", 42}, {",", 43}, {"/", 44}, {"n", 45}, {"m", 46}, {".", 47}, {"`", 50},
};

// Built on first use (thread-safe), then shared by every lookup.
const std::unordered_map<std::string_view, KeyCode>& usCharacterKeyTable() {
    static const std::unordered_map<std::string_view, KeyCode> table(std::begin(usCharacterKeys),
                                                                     std::end(usCharacterKeys));
    return table;
}

struct ModifierKey {
    EventFlags flag;
    KeyCode keyCode;
};

// The order in which modifier keys go down (and, reversed, come up).
constexpr ModifierKey modifierKeys[] = {
    {eventflag::control, 59},
    {eventflag::option, 58},
    {eventflag::shift, 56},
    {eventflag::command, 55},
};

}  // namespace

std::optional<KeyCode> DesktopController::keyCode(std::string_view name) {
    for (const auto& key : namedKeys) {
        if (key.name == name) return key.keyCode;
    }
    const auto& characters = usCharacterKeyTable();
    if (const auto found = characters.find(name); found != characters.end()) return found->second;
    return std::nullopt;
}

EventFlags DesktopController::modifierFlags(const std::optional<std::vector<std::string>>& names) {
    EventFlags flags = 0;
    if (!names) return flags;
    for (const auto& name : *names) {
        const std::string modifier = normalizedKeyName(name);
        if (modifier == "command" || modifier == "cmd" || modifier == "meta") flags |= eventflag::command;
        if (modifier == "shift") flags |= eventflag::shift;
        if (modifier == "option" || modifier == "alt") flags |= eventflag::option;
        if (modifier == "control" || modifier == "ctrl") flags |= eventflag::control;
    }
    return flags;
}

void DesktopController::pressKey(const std::optional<std::string>& key,
                                 const std::optional<std::vector<std::string>>& modifiers) {
    requireAccessibilityTrust();
    const std::string name = key ? normalizedKeyName(*key) : std::string();
    if (name.empty()) throw MacMenuError(Case::keyPressRequired);
    const auto code = keyCode(name);
    if (!code) throw MacMenuError(Case::keyPressUnsupported, *key);
    postKey(*code, modifierFlags(modifiers));
}

void DesktopController::postKey(KeyCode keyCode, EventFlags flags) {
    if (flags != 0) {
        postKeyWithModifierKeys(keyCode, flags);
        return;
    }
    auto holding = holdInput();
    KeyEventSequence keys(desktop_.eventPoster());
    keys.down(keyCode, 0);
    keys.up(keyCode, 0);
}

void DesktopController::postKeyWithModifierKeys(KeyCode keyCode, EventFlags flags) {
    auto holding = holdInput();
    postModifierKeySequence(keyCode, flags);
}

void DesktopController::postModifierKeySequence(KeyCode keyCode, EventFlags flags) {
    std::vector<ModifierKey> pressed;
    std::copy_if(std::begin(modifierKeys), std::end(modifierKeys), std::back_inserter(pressed),
                 [&](const ModifierKey& modifier) { return (flags & modifier.flag) != 0; });

    KeyEventSequence keys(desktop_.eventPoster());
    EventFlags down = 0;
    for (const auto& modifier : pressed) {
        down |= modifier.flag;
        keys.down(modifier.keyCode, down, modifier.flag);
    }
    keys.down(keyCode, flags);
    keys.up(keyCode, flags);
    for (auto modifier = pressed.rbegin(); modifier != pressed.rend(); ++modifier) {
        down &= ~modifier->flag;
        keys.up(modifier->keyCode, down);
    }
}

}  // namespace zentrabo
