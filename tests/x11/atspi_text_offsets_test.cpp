// Text offsets between the bus's characters and the callers' UTF-16 units.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/desktop/atspi/atspi_text_offsets.hpp"

namespace zentrabo::platform {
namespace {

// "a", "é" (two UTF-8 bytes), "😀" (four bytes, a surrogate pair), "b".
const std::string kMixed = "a\u00e9\U0001F600b";

TEST(AtspiTextOffsets, CharactersBecomeUtf16UnitsAndBack) {
    struct Case {
        int start, end;
        TextRange units;
    };
    const Case cases[] = {
        {0, 0, {0, 0}}, {0, 2, {0, 2}}, {2, 3, {2, 2}},  // the emoji alone
        {3, 4, {4, 1}},                                  // after it, one unit further on
        {0, 4, {0, 5}}, {4, 4, {5, 0}},                  // the caret at the end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + "-" + std::to_string(c.end));
        EXPECT_EQ(utf16RangeOfCharacters(kMixed, c.start, c.end), c.units);
        EXPECT_EQ(characterRangeOfUtf16(kMixed, c.units), (CharacterRange{c.start, c.end}));
    }
}

TEST(AtspiTextOffsets, OffsetsOutsideTheTextAreKeptInsideItOrRefused) {
    // The bus's offsets are kept within the text.
    EXPECT_EQ(utf16RangeOfCharacters(kMixed, -1, 9), (TextRange{0, 5}));
    EXPECT_EQ(utf16RangeOfCharacters(kMixed, 3, 1), (TextRange{4, 0}));
    EXPECT_EQ(utf16RangeOfCharacters("", 0, 1), (TextRange{0, 0}));

    // A caller's range that leaves the text or splits the surrogate pair is
    // refused.
    const TextRange refused[] = {
        {3, 0},  // between the halves
        {2, 1},  // ends between them
        {0, 6}, {6, 0}, {-1, 1}, {1, -1}, {1, INT64_MAX},
    };
    for (const auto& range : refused) {
        SCOPED_TRACE(std::to_string(range.location) + "+" + std::to_string(range.length));
        EXPECT_EQ(characterRangeOfUtf16(kMixed, range), std::nullopt);
    }
}

}  // namespace
}  // namespace zentrabo::platform
