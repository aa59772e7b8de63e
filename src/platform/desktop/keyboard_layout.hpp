#pragma once
// The keyboard-layout preferences (the text-input preference suite) as the
// user's settings hold them.
#include <optional>

#include "platform/desktop/property_list.hpp"

namespace zentrabo::platform {

class KeyboardLayoutPreferences {
public:
    virtual ~KeyboardLayoutPreferences() = default;

    // The suite's dictionary, read afresh at every call; none when the suite
    // cannot be opened. Keys of interest: "AppleCurrentKeyboardLayoutInputSourceID"
    // (a string) and "AppleSelectedInputSources" (an array of dictionaries with
    // "KeyboardLayout Name" and "InputSource ID").
    virtual std::optional<PropertyListValue> textInputPreferences() = 0;
};

}  // namespace zentrabo::platform
