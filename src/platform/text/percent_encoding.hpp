#pragma once
#include <string>
#include <string_view>

namespace zentrabo::platform {

// The one encoder for the values of every URL query we build: ASCII letters,
// digits and -._~!$'()*+,;:@/? stay; every other byte of the UTF-8 text
// becomes %XX with upper-case hexadecimal digits.
std::string percentEncodeQueryValue(std::string_view text);

}  // namespace zentrabo::platform
