#pragma once
// Posts keyboard events one after another and keeps the keys it holds down.
// When an event cannot be made, it lets go of those keys before it throws
// actionFailed: what was posted stays posted, but a modifier left down
// (Command) would turn every later keystroke on the machine into a shortcut.
#include <string>
#include <vector>

#include "platform/desktop/event_poster.hpp"

namespace zentrabo {

class KeyEventSequence {
public:
    explicit KeyEventSequence(platform::EventPoster& poster,
                              platform::EventSourceState source = platform::EventSourceState::none)
        : poster_(poster), source_(source) {}

    // modifierFlag is the flag the key stands for while it is down (0 for a
    // key that is no modifier).
    void down(platform::KeyCode keyCode, platform::EventFlags flags, platform::EventFlags modifierFlag = 0,
              std::u16string text = {});
    void up(platform::KeyCode keyCode, platform::EventFlags flags, std::u16string text = {});

private:
    struct HeldKey {
        platform::KeyCode keyCode = 0;
        platform::EventFlags modifierFlag = 0;
    };

    void post(platform::KeyboardEvent event);
    // Key-ups for the held keys, last pressed first, each with the flags of
    // the modifiers still down below it; failures are ignored. Then throws
    // actionFailed.
    [[noreturn]] void releaseHeldKeysAndFail();

    platform::EventPoster& poster_;
    platform::EventSourceState source_;
    std::vector<HeldKey> held_;
};

}  // namespace zentrabo
