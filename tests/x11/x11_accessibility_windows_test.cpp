// Window elements of the X11 accessibility service acted on through the
// window manager: moved, sized, minimized, raised and activated, each read
// back with xwininfo and xprop as witnesses.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/x11/x11_accessibility.hpp"
#include "x11/x11_accessibility_fixture.hpp"

namespace zentrabo::testing {
namespace {

using platform::Point;
using platform::Rect;
using platform::Size;

class X11AccessibilityWindowsTest : public X11AccessibilityTest {
protected:
    // The application's window of that title, as listed now.
    std::optional<platform::ApplicationWindow> windowTitled(const TestApplication& application,
                                                            const std::string& title) {
        std::optional<platform::ApplicationWindow> found;
        eventually([&] {
            for (const auto& window : accessibility().applicationWindows(application.pid())) {
                if (window.title == title) found = window;
            }
            return found.has_value();
        });
        return found;
    }

    static std::uint32_t activeWindow() { return witnessedNumbers("_NET_ACTIVE_WINDOW").at(0); }

    static bool isHidden(std::uint32_t window) {
        return witnessedProperty("_NET_WM_STATE", window).find("_NET_WM_STATE_HIDDEN") != std::string::npos;
    }
};

TEST_F(X11AccessibilityWindowsTest, FramesMoveAndResizeDecorationsIncluded) {
    TestApplication application({.windows = {{"Frame", 400, 300, {{100, 120}}, {{250, 200}}, {}, false}}});
    const auto mapped = waitForFrontWindow(application, "Frame");
    ASSERT_TRUE(mapped);
    const auto window = windowTitled(application, "Frame");
    ASSERT_TRUE(window);
    const auto extents = witnessedNumbers("_NET_FRAME_EXTENTS", mapped->xid);
    ASSERT_EQ(extents.size(), 4u);
    const double decorationWidth = extents[0] + extents[1];
    const double decorationHeight = extents[2] + extents[3];

    struct Row {
        const char* what;
        std::optional<Point> position;
        std::optional<Size> size;
        Rect expected;
    };
    const Row rows[] = {
        {"moved", Point{300, 200}, std::nullopt, Rect{300, 200, 400 + decorationWidth, 300 + decorationHeight}},
        {"resized in place", std::nullopt, Size{600, 500}, Rect{300, 200, 600, 500}},
        {"onto the right monitor", Point{2300, 400}, std::nullopt, Rect{2300, 400, 600, 500}},
        // The client's minimum size holds; the frame is that and its
        // decorations.
        {"below its minimum", std::nullopt, Size{100, 100},
         Rect{2300, 400, 250 + decorationWidth, 200 + decorationHeight}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.position) {
            EXPECT_EQ(accessibility().setWindowPosition(window->handle, *row.position), axerror::success);
        }
        if (row.size) {
            EXPECT_EQ(accessibility().setWindowSize(window->handle, *row.size), axerror::success);
        }
        // The window manager has acted when the call returns.
        EXPECT_EQ(witnessedFrame(mapped->xid), row.expected);
        EXPECT_EQ(accessibility().windowFrame(window->handle), row.expected);
    }
    EXPECT_EQ(windowTitled(application, "Frame")->number, mapped->xid);
}

TEST_F(X11AccessibilityWindowsTest, WindowNumbersFollowTheProcessAndThePlace) {
    // Three windows of one title and size: two of one application side by
    // side, and one of another exactly over the first.
    TestApplication first({.windows = {{"Twin", 300, 200, {{100, 100}}, {}, {}, false},
                                       {"Twin", 300, 200, {{800, 100}}, {}, {}, false}}});
    TestApplication second({.windows = {{"Twin", 300, 200, {{100, 100}}, {}, {}, false}},
                            .applicationId = std::string(kSecondTestApplicationId)});
    struct Row {
        const char* what;
        TestApplication* application;
        bool left;
        std::optional<MappedWindow> mapped = std::nullopt;
    };
    Row rows[] = {{"first, left", &first, true}, {"first, right", &first, false}, {"second, left", &second, true}};
    for (auto& row : rows) {
        row.mapped = waitForMapped(*row.application, "Twin");
        ASSERT_TRUE(row.mapped) << row.what;
    }
    // Each application reported its windows in the order they were asked for.
    ASSERT_LT(rows[0].mapped->x, rows[1].mapped->x);

    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        // The witnesses agree with the application's own report.
        EXPECT_EQ(std::stoi(witnessOutput("xdotool getwindowpid " + std::to_string(row.mapped->xid))),
                  row.application->pid());
        const auto frame = witnessedFrame(row.mapped->xid);
        ASSERT_TRUE(frame);

        std::optional<platform::ApplicationWindow> listed;
        ASSERT_TRUE(eventually([&] {
            for (const auto& window : accessibility().applicationWindows(row.application->pid())) {
                if (window.frame && (window.frame->x < 500) == row.left) listed = window;
            }
            return listed.has_value();
        }));
        EXPECT_EQ(listed->frame, frame);
        EXPECT_EQ(listed->number, row.mapped->xid);
    }
}

TEST_F(X11AccessibilityWindowsTest, AWindowUnderItsModalDialogRaisesWithTheDialogActive) {
    TestApplication application({.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
    const auto mapped = waitForFrontWindow(application, "Menus");
    ASSERT_TRUE(mapped);
    const auto window = windowTitled(application, "Menus");
    ASSERT_TRUE(window);
    ASSERT_EQ(accessibility().performAction(menuElements(menuBarOf(application)).at("File/Confirm…"), "AXPress"),
              axerror::success);
    ASSERT_TRUE(windowTitled(application, "Confirm"));
    TestApplication other({.windows = {{"Other", 300, 200, {{900, 100}}, {}, {}, false}},
                           .applicationId = std::string(kSecondTestApplicationId)});
    ASSERT_TRUE(waitForFrontWindow(other, "Other"));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(accessibility().raiseWindow(window->handle), axerror::success);
    EXPECT_LT(std::chrono::steady_clock::now() - start, platform::X11Accessibility::windowManagerWait)
        << "the dialog taking the focus is what was asked for";
    EXPECT_EQ(witnessedNumbers("WM_TRANSIENT_FOR", activeWindow()), std::vector<std::uint32_t>{mapped->xid});
}

TEST_F(X11AccessibilityWindowsTest, WrongValuesAndElementsAreRefused) {
    TestApplication application({.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Menus"));
    const auto window = windowTitled(application, "Menus");
    ASSERT_TRUE(window);
    const auto menuBar = menuBarOf(application);
    const double infinity = std::numeric_limits<double>::infinity();

    struct Row {
        const char* what;
        std::function<platform::AXError()> call;
        platform::AXError expected;
    };
    const Row rows[] = {
        {"an infinite position",
         [&] {
             return accessibility().setWindowPosition(window->handle, {infinity, 0});
         },
         axerror::illegalArgument},
        {"a size not a number",
         [&] {
             return accessibility().setWindowSize(window->handle, {std::nan(""), 1});
         },
         axerror::illegalArgument},
        {"a menu bar moved",
         [&] {
             return accessibility().setWindowPosition(menuBar, {10, 10});
         },
         axerror::attributeUnsupported},
        {"a menu bar raised", [&] { return accessibility().raiseWindow(menuBar); }, axerror::actionUnsupported},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.call(), row.expected);
    }
    EXPECT_FALSE(accessibility().windowFrame(menuBar));
}

TEST_F(X11AccessibilityWindowsTest, WindowsRaiseMinimizeAndTheApplicationComesForward) {
    TestApplication application(
        {.windows = {{"One", 300, 200, {{100, 100}}, {}, {}, false}, {"Two", 300, 200, {{700, 100}}, {}, {}, false}}});
    const auto one = waitForMapped(application, "One");
    const auto two = waitForMapped(application, "Two");
    ASSERT_TRUE(one && two);
    TestApplication other({.windows = {{"Other", 300, 200, {{1200, 100}}, {}, {}, false}},
                           .applicationId = std::string(kSecondTestApplicationId)});
    const auto otherWindow = waitForFrontWindow(other, "Other");
    ASSERT_TRUE(otherWindow);
    const auto oneElement = windowTitled(application, "One");
    const auto twoElement = windowTitled(application, "Two");
    ASSERT_TRUE(oneElement && twoElement);

    struct Row {
        const char* what;
        std::function<platform::AXError()> call;
        std::uint32_t active;
        bool twoHidden;
    };
    const Row rows[] = {
        {"one raised", [&] { return accessibility().raiseWindow(oneElement->handle); }, one->xid, false},
        {"two raised", [&] { return accessibility().raiseWindow(twoElement->handle); }, two->xid, false},
        {"two minimized", [&] { return accessibility().setWindowMinimized(twoElement->handle, true); }, one->xid, true},
        {"the other application raised",
         [&] { return accessibility().raiseWindow(windowTitled(other, "Other")->handle); }, otherWindow->xid, true},
        // Its frontmost shown window; the minimized one stays so.
        {"the application forward", [&] { return accessibility().bringApplicationForward(application.pid()); },
         one->xid, true},
        {"two restored", [&] { return accessibility().setWindowMinimized(twoElement->handle, false); }, two->xid,
         false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.call(), axerror::success);
        EXPECT_TRUE(eventually([&] { return activeWindow() == row.active; }));
        EXPECT_EQ(isHidden(two->xid), row.twoHidden);
        EXPECT_TRUE(eventually([&] { return windowTitled(application, "Two")->minimized == row.twoHidden; }))
            << "the bus reports the state too";
    }
}

}  // namespace
}  // namespace zentrabo::testing
