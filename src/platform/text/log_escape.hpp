#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace zentrabo::platform {

inline constexpr std::size_t defaultLoggedTextLength = 200;

// Makes text from a peer safe to put into one log line: control characters,
// line and paragraph separators and bidirectional controls become escapes
// (\n, \r, \t, \u{202E}; a backslash becomes \\), bytes that are not UTF-8
// become \xFF, and only the first maxCharacters characters are kept, followed
// by "…" when more were cut.
std::string escapeForLog(std::string_view text, std::size_t maxCharacters = defaultLoggedTextLength);

}  // namespace zentrabo::platform
