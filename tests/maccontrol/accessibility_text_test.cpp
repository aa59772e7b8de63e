// Text written straight into the focused element, counted in UTF-16 units.
#include <gmock/gmock.h>

#include <limits>

#include "key_input_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
constexpr auto huge = std::numeric_limits<std::int64_t>::max();

class AccessibilityTextTest : public KeyInputTest {};

TEST_F(AccessibilityTextTest, ReplacesTheSelectionOnlyWhenItLiesInsideTheValue) {
    struct Insertion {
        const char* what;
        std::string value;
        TextRange selection;
        std::string text;
        bool inserted;
        std::string result;
        TextRange caret;
    };
    const Insertion insertions[] = {
        {"replace and move the caret", "abcd", {2, 1}, "X", true, "abXd", {3, 0}},
        {"at the end", "ab", {2, 0}, "cd", true, "abcd", {4, 0}},
        {"a surrogate pair is two units", "a😀b", {1, 2}, "Z", true, "aZb", {2, 0}},
        {"inserting a pair moves the caret two units", "ab", {1, 0}, "😀", true, "a😀b", {3, 0}},
        {"selection past the end", "abcd", {3, 2}, "X", false, "abcd", {3, 2}},
        {"location past the end", "abcd", {5, 0}, "X", false, "abcd", {5, 0}},
        {"huge location", "abcd", {huge, 1}, "X", false, "abcd", {huge, 1}},
        {"huge length", "abcd", {1, huge}, "X", false, "abcd", {1, huge}},
        {"negative location", "abcd", {-1, 1}, "X", false, "abcd", {-1, 1}},
    };
    for (const auto& insertion : insertions) {
        SCOPED_TRACE(insertion.what);
        startEditor(insertion.value);
        desktop->setFocusedTextSelection(insertion.selection);
        EXPECT_EQ(controller->insertTextViaAccessibility(insertion.text), insertion.inserted);
        EXPECT_EQ(fieldText(), insertion.result);
        EXPECT_EQ(read(*focusedField(), "AXSelectedTextRange").value, AXValue(insertion.caret));
    }
}

TEST_F(AccessibilityTextTest, GivesFalseWithoutAFieldOrWhenTheFieldKeepsItsValue) {
    startEditor(std::nullopt);
    EXPECT_FALSE(controller->insertTextViaAccessibility("x"));

    startEditor("old");
    desktop->setTextFieldsKeepValue(true);
    EXPECT_FALSE(controller->insertTextViaAccessibility("x"));
    EXPECT_EQ(fieldText(), "old");

    desktop->setAccessibilityTrusted(false);
    EXPECT_FALSE(controller->insertTextViaAccessibility("x"));
}

}  // namespace
}  // namespace zentrabo
