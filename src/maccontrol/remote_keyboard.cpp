// Keyboard events from a stream's device: a media key, a key press, text
// inserted through accessibility, or a key event that types the text.
#include <algorithm>

#include "maccontrol/key_event_sequence.hpp"
#include "maccontrol/key_names.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/characters.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;
using platform::EventFlags;

namespace {

constexpr platform::KeyCode spaceKey = 49;

// The system-defined event of auxiliary control buttons.
constexpr std::int64_t auxiliaryControlButtons = 8;
constexpr EventFlags mediaKeyDown = 0x0A00;
constexpr EventFlags mediaKeyUp = 0x0B00;

}  // namespace

void DesktopController::handleRemoteKeyboardEvent(const RemoteScreenKeyboardEvent& event) {
    requireAccessibilityTrust();
    if (const auto type = mediaKeyType(event.key)) {
        postMediaKey(*type);
        return;
    }
    const bool keyPress = event.prefersTextInsertion == false || !modifiersAllowTextInsertion(event.modifiers) ||
                          !event.characters || event.characters->empty() || !isTextKey(event.key);
    if (keyPress) {
        pressKey(event.key, event.modifiers);
        return;
    }

    const std::string& text = *event.characters;
    if (!hasPrintableCharacter(text, event.prefersTextInsertion) && platform::characters(text).size() == 1) {
        // A lone control character or line break types best as its own key.
        if (const auto stroke = keyStroke(text)) {
            postKey(stroke->keyCode, stroke->flags);
            return;
        }
    }
    if (insertTextViaAccessibility(text)) return;
    postUnicodeText(text);
}

bool DesktopController::insertTextViaAccessibility(const std::string& text) {
    return desktop_.accessibility().insertIntoFocusedField(text, menuReadLimits());
}

bool DesktopController::modifiersAllowTextInsertion(const std::optional<std::vector<std::string>>& modifiers) {
    if (!modifiers) return true;
    return std::none_of(modifiers->begin(), modifiers->end(), [](const std::string& modifier) {
        const std::string name = normalizedKeyName(modifier);
        return name == "command" || name == "cmd" || name == "meta" || name == "control" || name == "ctrl";
    });
}

bool DesktopController::hasPrintableCharacter(std::string_view text, std::optional<bool> prefersTextInsertion) {
    return prefersTextInsertion != false && platform::hasPrintableScalar(text);
}

void DesktopController::postUnicodeText(const std::string& text) {
    // Whatever key is chosen, the event types exactly the text; the key and
    // its flags matter to applications that read the virtual key.
    KeyStroke stroke{spaceKey, 0};
    if (platform::characters(text).size() == 1) stroke = keyStroke(text).value_or(stroke);

    auto holding = holdInput();
    KeyEventSequence keys(desktop_.eventPoster(), platform::EventSourceState::combinedSession);
    keys.down(stroke.keyCode, stroke.flags, 0, platform::utf16(text));
    keys.up(stroke.keyCode, stroke.flags);
}

void DesktopController::postMediaKey(std::int64_t type) {
    auto holding = holdInput();
    auto& poster = desktop_.eventPoster();
    for (const EventFlags phase : {mediaKeyDown, mediaKeyUp}) {
        const platform::SystemDefinedEvent event{auxiliaryControlButtons,
                                                 (type << 16) | static_cast<std::int64_t>(phase), -1, phase};
        // A key-down already posted stays posted.
        if (!poster.post(event)) throw MacMenuError(Case::actionFailed);
    }
}

}  // namespace zentrabo
