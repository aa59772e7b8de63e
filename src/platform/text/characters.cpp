#include "platform/text/characters.hpp"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <memory>

namespace zentrabo::platform {

std::vector<std::string_view> characters(std::string_view text) {
    std::vector<std::string_view> result;
    if (text.empty()) return result;
    UErrorCode status = U_ZERO_ERROR;
    // UTF-8 text is read in place, so every boundary is a byte offset into
    // it; invalid bytes read as U+FFFD without moving the offsets.
    std::unique_ptr<UText, decltype(&utext_close)> utext(
        utext_openUTF8(nullptr, text.data(), static_cast<std::int64_t>(text.size()), &status), &utext_close);
    std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) {
        // Without ICU's data, each byte stands alone rather than nothing.
        for (std::size_t i = 0; i < text.size(); ++i) result.push_back(text.substr(i, 1));
        return result;
    }
    breaks->setText(utext.get(), status);
    std::int32_t start = breaks->first();
    for (std::int32_t end = breaks->next(); end != icu::BreakIterator::DONE; start = end, end = breaks->next()) {
        result.push_back(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
    }
    return result;
}

bool hasLetterMarkOrDigit(std::string_view character) {
    constexpr std::uint32_t wanted = U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(character.data());
    const auto length = static_cast<std::int32_t>(character.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 scalar = 0;
        U8_NEXT(bytes, i, length, scalar);
        if (scalar >= 0 && (U_GET_GC_MASK(scalar) & wanted) != 0) return true;
    }
    return false;
}

bool hasPrintableScalar(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    for (std::int32_t i = 0; i < length;) {
        UChar32 scalar = 0;
        U8_NEXT(bytes, i, length, scalar);
        if (scalar < 0) return true;
        const bool lineBreak =
            (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85 || scalar == 0x2028 || scalar == 0x2029;
        const bool control = (U_GET_GC_MASK(scalar) & (U_GC_CC_MASK | U_GC_CF_MASK)) != 0;
        if (!lineBreak && !control) return true;
    }
    return false;
}

}  // namespace zentrabo::platform
