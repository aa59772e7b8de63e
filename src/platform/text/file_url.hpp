#pragma once
// File URLs typed where a path is expected ("file:///Users/me/My%20File").
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// The decoded path of a "file:" URL (scheme in any case, empty or
// "localhost" host, query and fragment dropped); none when the text is not
// such a URL: another scheme, another host, characters a URL cannot hold
// (spaces, controls), a bad or NUL percent escape, or no path.
std::optional<std::string> filePathFromFileURL(std::string_view text);

}  // namespace zentrabo::platform
