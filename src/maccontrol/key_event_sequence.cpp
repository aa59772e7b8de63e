#include "maccontrol/key_event_sequence.hpp"

#include <algorithm>
#include <utility>

#include "maccontrol/mac_menu_error.hpp"

namespace zentrabo {

using platform::EventFlags;
using platform::KeyboardEvent;
using platform::KeyCode;

void KeyEventSequence::down(KeyCode keyCode, EventFlags flags, EventFlags modifierFlag, std::u16string text) {
    post(KeyboardEvent{keyCode, true, flags, std::move(text), source_});
    held_.push_back({keyCode, modifierFlag});
}

void KeyEventSequence::up(KeyCode keyCode, EventFlags flags, std::u16string text) {
    post(KeyboardEvent{keyCode, false, flags, std::move(text), source_});
    const auto held =
        std::find_if(held_.rbegin(), held_.rend(), [&](const HeldKey& key) { return key.keyCode == keyCode; });
    if (held != held_.rend()) held_.erase(std::next(held).base());
}

void KeyEventSequence::post(KeyboardEvent event) {
    if (!poster_.post(event)) releaseHeldKeysAndFail();
}

void KeyEventSequence::releaseHeldKeysAndFail() {
    while (!held_.empty()) {
        const KeyCode keyCode = held_.back().keyCode;
        held_.pop_back();
        EventFlags stillDown = 0;
        for (const auto& key : held_) stillDown |= key.modifierFlag;
        poster_.post(KeyboardEvent{keyCode, false, stillDown, {}, source_});
    }
    throw MacMenuError(MacMenuError::Case::actionFailed);
}

}  // namespace zentrabo
