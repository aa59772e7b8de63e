// Accessibility of the GNOME desktop in the tests' GNOME session: the test
// application's menus, text field and places as the shell places its
// window, and the requests that need accessibility no longer refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>

#include "maccontrol/desktop_controller.hpp"
#include "platform/desktop/gnome/gnome_accessibility.hpp"
#include "platform/desktop/gnome/gnome_desktop.hpp"
#include "platform/dispatch/system_clock.hpp"
#include "support/eventually.hpp"
#include "support/gnome_session.hpp"
#include "support/test_application.hpp"

namespace zentrabo::testing {
namespace {

using platform::AXElement;
namespace axerror = platform::axerror;

class GnomeAccessibilityTest : public GnomeSessionTest {
protected:
    void SetUp() override {
        GnomeSessionTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        desktop = platform::GnomeDesktop::create(gnomeSession()->waylandDisplay, clock);
    }

    platform::Accessibility& accessibility() { return desktop->accessibility(); }

    template <typename Value>
    std::optional<Value> read(const AXElement& element, const std::string& name) {
        const auto answer = accessibility().copyAttribute(element, name);
        const Value* value = answer.value ? std::get_if<Value>(&*answer.value) : nullptr;
        return value ? std::optional<Value>(*value) : std::nullopt;
    }

    // The first text field under the element, breadth first.
    std::optional<AXElement> fieldUnder(const AXElement& root) {
        std::vector<AXElement> pending{root};
        for (std::size_t next = 0; next < pending.size() && next < 500; ++next) {
            if (read<std::string>(pending[next], "AXRole") == "AXTextField") return pending[next];
            const auto children = read<std::vector<AXElement>>(pending[next], "AXChildren");
            if (children) pending.insert(pending.end(), children->begin(), children->end());
        }
        return std::nullopt;
    }

    platform::SystemClock clock;
    std::unique_ptr<platform::GnomeDesktop> desktop;
};

TEST_F(GnomeAccessibilityTest, MenusTextFieldsAndPlacesOfAWaylandWindow) {
    TestApplication application({.windows = {{"Menus", 400, 300, {}, {}, {}, true}}});
    ASSERT_TRUE(application.reports().waitFor("mapped", "Menus"));
    ASSERT_TRUE(shellActivates("Menus"));
    ASSERT_TRUE(accessibility().isProcessTrusted());

    const auto menus = accessibility().menuTree(application.pid(), DesktopController::menuReadLimits());
    ASSERT_EQ(menus.error, axerror::success);
    std::vector<std::string> bar;
    for (const auto& item : menus.items) bar.push_back(item.title);
    EXPECT_EQ(bar, (std::vector<std::string>{"File", "Edit"}));
    DesktopController controller(*desktop);
    EXPECT_NO_THROW(controller.pressMenuItem(std::nullopt, {"File", "Recent", "Second Document"}, {}, {}));
    const auto pressed = application.reports().waitFor("menuItem", "Menus");
    ASSERT_TRUE(pressed);
    EXPECT_EQ(pressed->text("item"), "Second Document");

    const auto windows =
        read<std::vector<AXElement>>(accessibility().applicationElement(application.pid()), "AXWindows");
    ASSERT_TRUE(windows && !windows->empty());
    const auto field = fieldUnder(windows->front());
    ASSERT_TRUE(field);
    // The shell centres the window, so a place left relative to it would
    // fall outside its frame.
    const auto frame = witnessedFrame("Menus");
    const auto place = read<platform::Point>(*field, "AXPosition");
    ASSERT_TRUE(frame && place);
    EXPECT_GE(place->x, (*frame)[0]);
    EXPECT_LT(place->x, (*frame)[0] + (*frame)[2]);
    EXPECT_GT(place->y, (*frame)[1]) << "below the menu bar";
    EXPECT_LT(place->y, (*frame)[1] + (*frame)[3]);

    // A key press needs accessibility, and reaches the focused field.
    EXPECT_NO_THROW(controller.pressKey("x", std::nullopt));
    const auto typed = application.reports().waitFor("field", "Menus");
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->text("text"), "x");
    ASSERT_EQ(accessibility().setAttribute(*field, "AXValue", std::string("set \u2713")), axerror::success);
    EXPECT_TRUE(eventually([&] { return read<std::string>(*field, "AXValue") == "set \u2713"; }));
    // Text written into the focused field, found from the shell's focused
    // window, over its selection.
    ASSERT_EQ(accessibility().setAttribute(*field, "AXSelectedTextRange", platform::TextRange{4, 1}), axerror::success);
    EXPECT_TRUE(controller.insertTextViaAccessibility("\u2714!"));
    EXPECT_EQ(read<std::string>(*field, "AXValue"), "set \u2714!");
}

TEST_F(GnomeAccessibilityTest, WindowsMoveResizeMinimizeAndRaiseAsTheShellSees) {
    TestApplication application({.windows = {{"Placed", 400, 300, {}, {}, {}, false}}});
    TestApplication other(
        {.windows = {{"Other", 300, 200, {}, {}, {}, false}}, .applicationId = std::string(kSecondTestApplicationId)});
    ASSERT_TRUE(application.reports().waitFor("mapped", "Placed") && other.reports().waitFor("mapped", "Other"));
    ASSERT_TRUE(shellActivates("Other"));
    std::optional<platform::ApplicationWindow> window;
    ASSERT_TRUE(eventually([&] {
        for (const auto& listed : accessibility().applicationWindows(application.pid())) {
            if (listed.title == "Placed" && listed.number) window = listed;
        }
        return window.has_value();
    }));
    const auto shell = witnessedShellWindows();
    EXPECT_TRUE(shell && shell->contains(*window->number) && shell->at(*window->number).title == "Placed");
    const auto start = witnessedFrame("Placed");
    ASSERT_TRUE(start);

    const std::string placed = shellWindowWithTitle("Placed");
    auto& service = accessibility();
    struct Row {
        const char* what;
        std::function<platform::AXError()> call;
        std::array<int, 4> frame;
        bool minimized;
        std::optional<bool> focused;
    };
    const Row rows[] = {
        {"moved",
         [&] {
             return service.setWindowPosition(window->handle, {200, 150});
         },
         {200, 150, (*start)[2], (*start)[3]},
         false,
         false},
        {"resized",
         [&] {
             return service.setWindowSize(window->handle, {500, 350});
         },
         {200, 150, 500, 350},
         false,
         false},
        {"minimized",
         [&] { return service.setWindowMinimized(window->handle, true); },
         {200, 150, 500, 350},
         true,
         false},
        {"restored",
         [&] { return service.setWindowMinimized(window->handle, false); },
         {200, 150, 500, 350},
         false,
         std::nullopt},
        {"raised", [&] { return service.raiseWindow(window->handle); }, {200, 150, 500, 350}, false, true},
        {"the other forward",
         [&] { return service.bringApplicationForward(other.pid()); },
         {200, 150, 500, 350},
         false,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.call(), axerror::success);
        EXPECT_TRUE(eventually([&] { return witnessedFrame("Placed") == row.frame; }));
        const auto [x, y, width, height] = row.frame;
        EXPECT_EQ(service.windowFrame(window->handle),
                  (platform::Rect{double(x), double(y), double(width), double(height)}));
        EXPECT_EQ(shellEvaluation(placed + ".minimized"), row.minimized ? "true" : "false");
        if (row.focused) {
            const std::string focused = *row.focused ? "true" : "false";
            EXPECT_TRUE(
                eventually([&] { return shellEvaluation("global.display.focus_window === " + placed) == focused; }));
        }
    }
}

// Where a window's reported places start: Wayland clients report places
// within their surface, XWayland clients global ones.
TEST(GnomeAccessibilityPlaces, ReportedPlacesMoveByTheSurfaceAWaylandClientDrawsIn) {
    platform::ShellWindow shown;
    shown.pid = 42;
    shown.title = "Menus";
    shown.frame = {760, 380, 400, 330};
    shown.buffer = {736, 356, 448, 378};
    struct Row {
        const char* what;
        platform::Rect reported;
        platform::Point offset;
    };
    const Row rows[] = {
        {"Wayland, the buffer's size", {0, 0, 448, 378}, {736, 356}},
        {"Wayland, the frame's size", {0, 0, 400, 330}, {760, 380}},
        {"XWayland at its frame", {760, 380, 400, 330}, {0, 0}},
        {"XWayland at its buffer", {736, 356, 448, 378}, {0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(platform::surfaceOffset(shown, {42, row.reported, "Menus"}), row.offset);
    }

    platform::ShellWindow other = shown;
    other.title = "Other";
    platform::ShellWindow stranger = shown;
    stranger.pid = 7;
    const std::vector<platform::ShellWindow> windows{stranger, other, shown};
    EXPECT_EQ(platform::shellWindowOf(windows, {42, {0, 0, 10, 10}, "Menus"}), &windows[2]) << "the title decides";
    EXPECT_EQ(platform::shellWindowOf(windows, {9, {0, 0, 10, 10}, "Menus"}), nullptr) << "no window of its process";
}

}  // namespace
}  // namespace zentrabo::testing
