#pragma once
// UTF-16, the unit in which text ranges are counted and typed events carry
// their text.
#include <string>
#include <string_view>
#include <vector>

namespace zentrabo::platform {

// Bytes that are not valid UTF-8 become U+FFFD.
std::u16string utf16(std::string_view text);

// Unpaired surrogates become U+FFFD.
std::string utf8(std::u16string_view text);
// The Unicode scalars of the text; a lone surrogate reads as U+FFFD.
std::vector<char32_t> unicodeScalars(std::u16string_view text);

}  // namespace zentrabo::platform
