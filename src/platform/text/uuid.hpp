#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo::platform {

// A new random (version 4) UUID as 36 characters in upper case,
// e.g. "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
std::string makeUUIDString();

// The upper-case form of a UUID written as 8-4-4-4-12 hexadecimal digits in
// either case; none for any other text.
std::optional<std::string> canonicalUUIDString(std::string_view text);

}  // namespace zentrabo::platform
