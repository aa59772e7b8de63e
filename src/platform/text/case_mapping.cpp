#include "platform/text/case_mapping.hpp"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace zentrabo::platform {

namespace {

icu::UnicodeString unicodeOf(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
}

std::string utf8Of(const icu::UnicodeString& unicode) {
    std::string result;
    unicode.toUTF8String(result);
    return result;
}

// Case-folded, decomposed, without combining marks: the form in which two
// texts that differ only in case and diacritics are equal.
icu::UnicodeString foldedWithoutMarks(std::string_view text) {
    auto unicode = unicodeOf(text);
    unicode.foldCase();
    UErrorCode status = U_ZERO_ERROR;
    const auto* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_SUCCESS(status)) {
        auto decomposed = nfd->normalize(unicode, status);
        if (U_SUCCESS(status)) unicode = std::move(decomposed);
    }
    icu::UnicodeString result;
    for (std::int32_t i = 0; i < unicode.length();) {
        const UChar32 c = unicode.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) result.append(c);
        i += U16_LENGTH(c);
    }
    return result;
}

}  // namespace

std::string uppercased(std::string_view text) { return utf8Of(unicodeOf(text).toUpper(icu::Locale::getRoot())); }

std::string lowercased(std::string_view text) { return utf8Of(unicodeOf(text).toLower(icu::Locale::getRoot())); }

bool beginsWithIgnoringCaseAndDiacritics(std::string_view text, std::string_view prefix) {
    return foldedWithoutMarks(text).startsWith(foldedWithoutMarks(prefix));
}

bool equalIgnoringCaseAndDiacritics(std::string_view text, std::string_view other) {
    return foldedWithoutMarks(text) == foldedWithoutMarks(other);
}

}  // namespace zentrabo::platform
