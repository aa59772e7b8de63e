#include "platform/text/trim.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace zentrabo::platform {

namespace {

// The part of text between its leading and trailing white space.
std::string_view trimmedView(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());

    std::int32_t begin = 0;
    while (begin < length) {
        std::int32_t next = begin;
        UChar32 c = 0;
        U8_NEXT(bytes, next, length, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        begin = next;
    }
    std::int32_t end = length;
    while (end > begin) {
        std::int32_t previous = end;
        UChar32 c = 0;
        U8_PREV(bytes, begin, previous, c);
        if (c < 0 || !u_isUWhiteSpace(c)) break;
        end = previous;
    }
    return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

}  // namespace

std::string trimWhitespaceAndNewlines(std::string_view text) { return std::string(trimmedView(text)); }

bool isBlank(std::string_view text) { return trimmedView(text).empty(); }

std::optional<std::string> trimmedNonBlank(const std::optional<std::string>& text) {
    if (!text) return std::nullopt;
    const std::string_view trimmed = trimmedView(*text);
    if (trimmed.empty()) return std::nullopt;
    return std::string(trimmed);
}

}  // namespace zentrabo::platform
