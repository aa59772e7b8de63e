#include "platform/text/numeric_characters.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace zentrabo::platform {

std::string numericCharacters(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::string kept;
    std::int32_t offset = 0;
    while (offset < length) {
        const std::int32_t start = offset;
        UChar32 c = 0;
        U8_NEXT(bytes, offset, length, c);
        if (c >= 0 && u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE) {
            kept.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(offset - start)));
        }
    }
    return kept;
}

}  // namespace zentrabo::platform
