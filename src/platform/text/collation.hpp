#pragma once
// Locale-aware comparison of texts. Every collator is opened with an explicit
// locale: under a C or unset locale ICU's default would be en_US_POSIX, whose
// order puts "Beta" before "alpha".
#include <compare>
#include <memory>
#include <string>
#include <string_view>

struct UCollator;

namespace zentrabo::platform {

// The locale for comparisons: the first of LC_ALL, LC_COLLATE and LANG that is
// set, without its encoding and modifier ("de_DE.UTF-8" gives "de_DE"), when
// ICU has collation data for its language; otherwise "" (the root locale).
// Read from the environment at each call.
std::string collationLocaleName();

enum class CollationStrength {
    // Base letters only: ignores case and diacritics ("e" = "É").
    primary,
    // Ignores case, not diacritics ("e" = "E", "e" < "é").
    secondary,
    // Case and diacritics both count.
    tertiary,
};

enum class DigitOrdering {
    // Digits compare as characters ("Mac 10" < "Mac 9").
    textual,
    // Runs of digits compare by their numeric value ("Mac 9" < "Mac 10").
    numeric,
};

class Collator {
public:
    // The collator of collationLocaleName().
    explicit Collator(CollationStrength strength = CollationStrength::tertiary,
                      DigitOrdering digits = DigitOrdering::textual);
    // locale "" is the root locale. Throws std::runtime_error when ICU cannot
    // open a collator at all.
    Collator(const std::string& locale, CollationStrength strength, DigitOrdering digits = DigitOrdering::textual);

    // The order a file browser shows names in: locale-aware, case and
    // diacritics counting only where the base letters are equal, runs of
    // digits by their value.
    static Collator localizedStandard() { return Collator(CollationStrength::tertiary, DigitOrdering::numeric); }
    ~Collator();
    Collator(Collator&&) noexcept;
    Collator& operator=(Collator&&) noexcept;

    // Compares UTF-8 texts. Safe to call from several threads at once.
    std::weak_ordering compare(std::string_view a, std::string_view b) const;
    bool equal(std::string_view a, std::string_view b) const { return compare(a, b) == 0; }
    // Bytes whose plain byte order is this collator's order of the texts, so
    // a long list is sorted by comparing keys built once per text.
    std::string sortKey(std::string_view text) const;

private:
    struct Close {
        void operator()(UCollator* collator) const;
    };
    std::unique_ptr<UCollator, Close> collator_;
};

// One-off comparisons that ignore case but not diacritics, in the user's
// locale; to sort, hold a Collator instead of opening one per comparison.
std::weak_ordering compareCaseInsensitive(std::string_view a, std::string_view b);
bool equalCaseInsensitive(std::string_view a, std::string_view b);

}  // namespace zentrabo::platform
