#pragma once
// Text as a reader sees it: characters are extended grapheme clusters, so a
// letter with its combining accents, an emoji with its modifiers or a flag of
// two regional indicators is one character.
#include <string_view>
#include <vector>

namespace zentrabo::platform {

// The characters of the text in order, each a view into it. A byte that is
// not valid UTF-8 counts as a character of its own.
std::vector<std::string_view> characters(std::string_view text);

// True when one of the character's scalars is a letter, a mark or a digit
// (general categories L, M and N): "é", "ß", "٣" and "e" with a combining
// accent are; "-", "😀", a flag and an invalid byte are not.
bool hasLetterMarkOrDigit(std::string_view character);

// True when one of the text's scalars is neither a control character
// (general categories Cc and Cf) nor a line break (U+000A to U+000D, U+0085,
// U+2028, U+2029): text that shows when typed. An invalid byte reads as
// U+FFFD, which shows.
bool hasPrintableScalar(std::string_view text);

}  // namespace zentrabo::platform
