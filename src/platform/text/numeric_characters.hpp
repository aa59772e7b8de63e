#pragma once
#include <string>
#include <string_view>

namespace zentrabo::platform {

// The characters of text that have a Unicode numeric value (the ASCII digits,
// other scripts' digits, fractions, numerals), in order; everything else is
// dropped. Bytes that are not valid UTF-8 are dropped too.
std::string numericCharacters(std::string_view text);

}  // namespace zentrabo::platform
