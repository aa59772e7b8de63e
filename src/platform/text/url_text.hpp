#pragma once
// Whether a text is a URL, and its scheme.
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

struct URLText {
    // The text before the first ":" when that is a scheme (a letter, then
    // letters, digits, "+", "-" or "."); empty when the text starts with
    // ":"; none for a text without one (a relative reference).
    std::optional<std::string> scheme;
};

// The text parsed as a URL or a relative reference; none when it cannot be
// one: empty, white space or control characters, characters a URL never holds
// unencoded ('"', "<", ">", "\\", "^", "`", "{", "|", "}"), a "%" without two
// hexadecimal digits, or bytes that are not valid UTF-8. Other non-ASCII
// characters (international host names and paths) are accepted.
std::optional<URLText> parseURLText(std::string_view text);

}  // namespace zentrabo::platform
