// The text field of the test application through the X11 accessibility
// service: its value written and its selection read and set in UTF-16
// units, with text outside the Basic Multilingual Plane.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "x11/x11_accessibility_fixture.hpp"

namespace zentrabo::testing {
namespace {

using platform::TextRange;

class X11AccessibilityTextTest : public X11AccessibilityTest {
protected:
    // The first text field under the element, breadth first.
    std::optional<AXElement> textFieldUnder(const AXElement& root) {
        std::vector<AXElement> pending{root};
        for (std::size_t next = 0; next < pending.size() && next < 500; ++next) {
            if (read<std::string>(pending[next], "AXRole") == "AXTextField") return pending[next];
            for (const auto& child : children(pending[next])) pending.push_back(child);
        }
        return std::nullopt;
    }
};

TEST_F(X11AccessibilityTextTest, ValueAndSelectionCountUtf16Units) {
    TestApplication application({.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Menus"));
    const auto window = read<AXElement>(accessibility().applicationElement(application.pid()), "AXFocusedWindow");
    ASSERT_TRUE(window);
    const auto field = textFieldUnder(*window);
    ASSERT_TRUE(field);
    // The field has the focus of the active window: text typed goes there.
    EXPECT_EQ(read<AXElement>(accessibility().systemWideElement(), "AXFocusedUIElement"), field);

    // "a", "😀" (two units), "é", "z".
    const std::string text = "a\U0001F600\u00e9z";
    ASSERT_EQ(accessibility().setAttribute(*field, "AXValue", text), axerror::success);
    const auto changed = application.reports().waitFor("field", "Menus");
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->text("text"), text) << "the application's own field holds it";
    EXPECT_EQ(read<std::string>(*field, "AXValue"), text);

    struct Row {
        TextRange set;
        platform::AXError expected;
        // The range read back after it.
        TextRange selected;
    };
    const Row rows[] = {
        {{3, 2}, axerror::success, {3, 2}},  // "éz"
        {{1, 2}, axerror::success, {1, 2}},  // the emoji, selected already once
        {{0, 0}, axerror::success, {0, 0}},  // a caret ends the selection
        {{3, 0}, axerror::success, {3, 0}},         {{5, 0}, axerror::success, {5, 0}},
        {{2, 0}, axerror::illegalArgument, {5, 0}},  // between the emoji's halves
        {{4, 2}, axerror::illegalArgument, {5, 0}},  // past the end
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.set.location) + "+" + std::to_string(row.set.length));
        EXPECT_EQ(accessibility().setAttribute(*field, "AXSelectedTextRange", row.set), row.expected);
        EXPECT_TRUE(eventually([&] { return read<TextRange>(*field, "AXSelectedTextRange") == row.selected; }));
    }

    const std::string invalid[] = {std::string("a\0b", 3), "\xff"};
    for (const auto& value : invalid) {
        EXPECT_EQ(accessibility().setAttribute(*field, "AXValue", value), axerror::illegalArgument);
    }
    EXPECT_EQ(read<std::string>(*field, "AXValue"), text);
    EXPECT_EQ(accessibility().setAttribute(*window, "AXValue", std::string("x")), axerror::attributeUnsupported);
}

}  // namespace
}  // namespace zentrabo::testing
