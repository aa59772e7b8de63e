#include "platform/text/log_escape.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace zentrabo::platform {

namespace {

bool needsEscape(UChar32 c) {
    const auto category = static_cast<UCharCategory>(u_charType(c));
    return category == U_CONTROL_CHAR || category == U_LINE_SEPARATOR || category == U_PARAGRAPH_SEPARATOR ||
           u_hasBinaryProperty(c, UCHAR_BIDI_CONTROL);
}

void appendEscape(std::string& out, UChar32 c) {
    switch (c) {
    case '\n':
        out += "\\n";
        return;
    case '\r':
        out += "\\r";
        return;
    case '\t':
        out += "\\t";
        return;
    default:
        break;
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\u{%04X}", static_cast<unsigned>(c));
    out += buffer;
}

}  // namespace

std::string escapeForLog(std::string_view text, std::size_t maxCharacters) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    std::string out;
    out.reserve(std::min<std::size_t>(text.size(), maxCharacters * 4) + 3);

    std::int32_t offset = 0;
    std::size_t characters = 0;
    while (offset < length) {
        if (characters == maxCharacters) {
            out += "…";
            break;
        }
        const std::int32_t start = offset;
        UChar32 c = 0;
        U8_NEXT(bytes, offset, length, c);
        ++characters;
        if (c < 0) {
            for (std::int32_t i = start; i < offset; ++i) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned>(bytes[i]));
                out += buffer;
            }
        } else if (c == '\\') {
            out += "\\\\";
        } else if (needsEscape(c)) {
            appendEscape(out, c);
        } else {
            out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(offset - start)));
        }
    }
    return out;
}

}  // namespace zentrabo::platform
