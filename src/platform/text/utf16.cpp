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

std::vector<char32_t> unicodeScalars(std::u16string_view text) {
    std::vector<char32_t> result;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const char32_t unit = text[at];
        if (unit >= 0xD800 && unit < 0xDC00 && at + 1 < text.size() && text[at + 1] >= 0xDC00 &&
            text[at + 1] < 0xE000) {
            result.push_back(0x10000 + ((unit - 0xD800) << 10) + (text[++at] - 0xDC00));
        } else {
            result.push_back(unit >= 0xD800 && unit < 0xE000 ? 0xFFFD : unit);
        }
    }
    return result;
}

}  // namespace zentrabo::platform
