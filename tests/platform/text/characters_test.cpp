#include "platform/text/characters.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/text/case_mapping.hpp"

namespace zentrabo::platform {
namespace {

// Each text: its lower case, and its characters with whether each holds a
// letter, mark or digit.
struct TextCase {
    const char* what;
    std::string text;
    std::string lower;
    std::vector<std::pair<std::string, bool>> characters;
};

TEST(Characters, LowerCaseAndCharactersByTheRulesOfNoLanguage) {
    const std::vector<TextCase> cases = {
        {"dotted capital I keeps its dot as a mark", "İ", "i\u0307", {{"İ", true}}},
        {"final sigma", "ΣΑΣ", "σας", {{"Σ", true}, {"Α", true}, {"Σ", true}}},
        {"no Turkish dotless i", "I", "i", {{"I", true}}},
        {"letter with a combining mark", "E\u0301t", "e\u0301t", {{"E\u0301", true}, {"t", true}}},
        {"digits of any script", "٣7", "٣7", {{"٣", true}, {"7", true}}},
        {"emoji with a skin tone", "👍🏽", "👍🏽", {{"👍🏽", false}}},
        {"flag of two regional indicators", "🇩🇪", "🇩🇪", {{"🇩🇪", false}}},
        {"punctuation and symbols",
         "a-b_!",
         "a-b_!",
         {{"a", true}, {"-", false}, {"b", true}, {"_", false}, {"!", false}}},
        {"invalid byte", "A\xFF", "a\uFFFD", {{"A", true}, {"\xFF", false}}},
        {"empty", "", "", {}},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.what);
        EXPECT_EQ(lowercased(entry.text), entry.lower);
        std::vector<std::pair<std::string, bool>> seen;
        for (const auto character : characters(entry.text)) {
            seen.emplace_back(std::string(character), hasLetterMarkOrDigit(character));
        }
        EXPECT_EQ(seen, entry.characters);
    }
}

TEST(Characters, PrintableScalarsAreNeitherControlsNorLineBreaks) {
    const std::pair<std::string, bool> texts[] = {
        {"", false},
        {"\t\n\v\f\r", false},
        {"\x7F\u0085\u2028\u2029", false},
        {"\u200B\u200E\uFEFF", false},  // format characters (Cf)
        {std::string("\0", 1), false},
        {"\n a", true},
        {"\u00A0", true},  // a no-break space shows as space
        {"👍🏽", true},
        {"\xFF", true},  // reads as U+FFFD
    };
    for (const auto& [text, printable] : texts) {
        SCOPED_TRACE(text);
        EXPECT_EQ(hasPrintableScalar(text), printable);
    }
}

}  // namespace
}  // namespace zentrabo::platform
