#include "platform/text/collation.hpp"

#include <unicode/ucol.h>
#include <unicode/uloc.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "platform/text/case_table.hpp"

namespace zentrabo::platform {

namespace {

std::string localeFromEnvironment() {
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return {};
}

bool hasCollationDataForLanguage(const std::string& locale) {
    char language[ULOC_LANG_CAPACITY] = {};
    UErrorCode status = U_ZERO_ERROR;
    uloc_getLanguage(locale.c_str(), language, sizeof language, &status);
    if (U_FAILURE(status) || language[0] == '\0') return false;
    const std::int32_t count = ucol_countAvailable();
    for (std::int32_t i = 0; i < count; ++i) {
        char availableLanguage[ULOC_LANG_CAPACITY] = {};
        UErrorCode availableStatus = U_ZERO_ERROR;
        uloc_getLanguage(ucol_getAvailable(i), availableLanguage, sizeof availableLanguage, &availableStatus);
        if (U_SUCCESS(availableStatus) && std::string_view(availableLanguage) == language) return true;
    }
    return false;
}

UColAttributeValue icuStrength(CollationStrength strength) {
    static constexpr auto strengths = caseTable<CollationStrength, UColAttributeValue>({
        {CollationStrength::primary, UCOL_PRIMARY},
        {CollationStrength::secondary, UCOL_SECONDARY},
        {CollationStrength::tertiary, UCOL_TERTIARY},
    });
    return strengths.entryOr(strength, UCOL_TERTIARY);
}

std::weak_ordering byteOrder(std::string_view a, std::string_view b) {
    const int result = a.compare(b);
    return result < 0 ? std::weak_ordering::less
                      : (result > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent);
}

}  // namespace

std::string collationLocaleName() {
    std::string locale = localeFromEnvironment();
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale.empty() || locale == "C" || locale == "POSIX") return {};
    return hasCollationDataForLanguage(locale) ? locale : std::string();
}

void Collator::Close::operator()(UCollator* collator) const { ucol_close(collator); }

Collator::Collator(CollationStrength strength, DigitOrdering digits)
    : Collator(collationLocaleName(), strength, digits) {}

Collator::Collator(const std::string& locale, CollationStrength strength, DigitOrdering digits) {
    UErrorCode status = U_ZERO_ERROR;
    // ICU names the root locale "root"; an empty name would mean its default.
    collator_.reset(ucol_open(locale.empty() ? "root" : locale.c_str(), &status));
    if (U_FAILURE(status) || !collator_) {
        throw std::runtime_error(std::string("Cannot open a collator: ") + u_errorName(status));
    }
    ucol_setStrength(collator_.get(), icuStrength(strength));
    if (digits == DigitOrdering::numeric) {
        ucol_setAttribute(collator_.get(), UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
    }
}

Collator::~Collator() = default;
Collator::Collator(Collator&&) noexcept = default;
Collator& Collator::operator=(Collator&&) noexcept = default;

std::weak_ordering Collator::compare(std::string_view a, std::string_view b) const {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result = ucol_strcollUTF8(collator_.get(), a.data(), static_cast<std::int32_t>(a.size()),
                                                     b.data(), static_cast<std::int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return byteOrder(a, b);
    switch (result) {
    case UCOL_LESS:
        return std::weak_ordering::less;
    case UCOL_GREATER:
        return std::weak_ordering::greater;
    case UCOL_EQUAL:
        break;
    }
    return std::weak_ordering::equivalent;
}

std::string Collator::sortKey(std::string_view text) const {
    // Invalid UTF-8 becomes U+FFFD, as ucol_strcollUTF8 reads it in compare().
    std::vector<UChar> utf16(text.size() + 1);
    std::int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(utf16.data(), static_cast<std::int32_t>(utf16.size()), &length, text.data(),
                         static_cast<std::int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return std::string(text);
    std::string key(static_cast<std::size_t>(length) * 4 + 16, '\0');
    for (;;) {
        const std::int32_t needed =
            ucol_getSortKey(collator_.get(), utf16.data(), length, reinterpret_cast<std::uint8_t*>(key.data()),
                            static_cast<std::int32_t>(key.size()));
        if (needed <= 0) return std::string(text);
        if (static_cast<std::size_t>(needed) <= key.size()) {
            key.resize(static_cast<std::size_t>(needed) - 1);  // without the terminating zero
            return key;
        }
        key.resize(static_cast<std::size_t>(needed));
    }
}

std::weak_ordering compareCaseInsensitive(std::string_view a, std::string_view b) {
    return Collator(CollationStrength::secondary).compare(a, b);
}

bool equalCaseInsensitive(std::string_view a, std::string_view b) { return compareCaseInsensitive(a, b) == 0; }

}  // namespace zentrabo::platform
