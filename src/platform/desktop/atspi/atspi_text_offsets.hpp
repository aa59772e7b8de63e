#pragma once
// Text offsets between the accessibility bus and the callers: the bus counts
// characters (code points), the callers UTF-16 units, so a character outside
// the Basic Multilingual Plane is one offset there and two here.
#include <optional>
#include <string_view>

#include "platform/desktop/accessibility.hpp"

namespace zentrabo::platform {

// Character offsets from start to end (end excluded), of the text's.
struct CharacterRange {
    int start = 0;
    int end = 0;
    bool operator==(const CharacterRange&) const = default;
};

// The UTF-16 range of the characters from start to end of the text, each
// offset kept within the text (an end before start is taken as start).
TextRange utf16RangeOfCharacters(std::string_view text, int start, int end);

// The characters of a UTF-16 range of the text; none when the range leaves
// the text or one of its ends falls between the two halves of a character.
std::optional<CharacterRange> characterRangeOfUtf16(std::string_view text, const TextRange& range);

}  // namespace zentrabo::platform
