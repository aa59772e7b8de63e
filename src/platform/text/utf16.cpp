#include "platform/text/utf16.hpp"

#include <unicode/unistr.h>

#include <cstdint>

namespace zentrabo::platform {

std::u16string utf16(std::string_view text) {
    const auto unicode =
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    return std::u16string(unicode.getBuffer(), static_cast<std::size_t>(unicode.length()));
}

std::string utf8(std::u16string_view text) {
    std::string result;
    icu::UnicodeString(text.data(), static_cast<std::int32_t>(text.size())).toUTF8String(result);
    return result;
}

}  // namespace zentrabo::platform
