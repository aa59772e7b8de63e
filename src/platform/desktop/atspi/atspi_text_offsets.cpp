#include "platform/desktop/atspi/atspi_text_offsets.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/text/utf16.hpp"

namespace zentrabo::platform {
namespace {

bool isHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The UTF-16 offset at which each character starts, and the text's length
// last: one entry more than the text has characters.
std::vector<std::int64_t> characterStarts(std::string_view text) {
    const std::u16string units = utf16(text);
    std::vector<std::int64_t> starts;
    starts.reserve(units.size() + 1);
    for (std::size_t unit = 0; unit < units.size(); ++unit) {
        // A low surrogate after its high half continues that character.
        if (unit > 0 && isLowSurrogate(units[unit]) && isHighSurrogate(units[unit - 1])) continue;
        starts.push_back(static_cast<std::int64_t>(unit));
    }
    starts.push_back(static_cast<std::int64_t>(units.size()));
    return starts;
}

}  // namespace

TextRange utf16RangeOfCharacters(std::string_view text, int start, int end) {
    const auto starts = characterStarts(text);
    const auto within = [&](int offset) {
        return starts[static_cast<std::size_t>(std::clamp(offset, 0, static_cast<int>(starts.size()) - 1))];
    };
    const std::int64_t location = within(start);
    return {location, std::max(within(end), location) - location};
}

std::optional<CharacterRange> characterRangeOfUtf16(std::string_view text, const TextRange& range) {
    const auto starts = characterStarts(text);
    const std::int64_t length = starts.back();
    // Written so that no sum can overflow, whatever the caller sends.
    if (range.location < 0 || range.length < 0 || range.location > length || range.length > length - range.location) {
        return std::nullopt;
    }
    const auto characterAt = [&](std::int64_t unit) -> std::optional<int> {
        const auto found = std::lower_bound(starts.begin(), starts.end(), unit);
        if (found == starts.end() || *found != unit) return std::nullopt;
        return static_cast<int>(found - starts.begin());
    };
    const auto start = characterAt(range.location);
    const auto end = characterAt(range.location + range.length);
    if (!start || !end) return std::nullopt;
    return CharacterRange{*start, *end};
}

}  // namespace zentrabo::platform
