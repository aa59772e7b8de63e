#pragma once
// Case mapping and the comparisons that ignore case and diacritics without
// looking at the user's locale.
#include <string>
#include <string_view>

namespace zentrabo::platform {

// The text in upper case by the Unicode rules of no particular language
// ("ß" becomes "SS"). Bytes that are not valid UTF-8 become U+FFFD.
std::string uppercased(std::string_view text);

// The text in lower case by the Unicode rules of no particular language ("İ"
// becomes "i" and a combining dot, a word-final "Σ" becomes "ς"). Bytes that
// are not valid UTF-8 become U+FFFD.
std::string lowercased(std::string_view text);

// True when text starts with prefix once both are case-folded and stripped of
// their combining marks ("Éxport" begins with "ex"). An empty prefix begins
// every text.
bool beginsWithIgnoringCaseAndDiacritics(std::string_view text, std::string_view prefix);

// True when both are equal once case-folded and stripped of their combining
// marks ("Résumé" equals "RESUME").
bool equalIgnoringCaseAndDiacritics(std::string_view text, std::string_view other);

}  // namespace zentrabo::platform
