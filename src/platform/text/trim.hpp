#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// Removes leading and trailing white space and line breaks: every character
// with the Unicode White_Space property (tab, line feed, U+0085, U+00A0,
// U+2028, U+3000 and the rest). Bytes that are not valid UTF-8 are kept.
std::string trimWhitespaceAndNewlines(std::string_view text);

// True when nothing is left after trimming.
bool isBlank(std::string_view text);

// The trimmed text; none when there is no text or nothing is left of it.
std::optional<std::string> trimmedNonBlank(const std::optional<std::string>& text);

}  // namespace zentrabo::platform
