// Display modes of the X11 desktop switched through RandR, each switch read
// back with xrandr.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "x11/unsplit_screen.hpp"
#include "x11/x11_desktop_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using platform::DisplayMode;
namespace displayerror = platform::displayerror;

using X11DisplayModes = X11DesktopTest;

auto monitorsAsListed() {
    std::vector<std::tuple<std::string, bool, int, int, int, int>> listed;
    for (const auto& monitor : witnessedMonitors()) {
        listed.emplace_back(monitor.name, monitor.primary, monitor.x, monitor.y, monitor.width, monitor.height);
    }
    return listed;
}

TEST_F(X11DisplayModes, TheOutputSwitchesToAnotherModeAndBack) {
    const auto split = monitorsAsListed();
    const std::string splitMode = witnessedCurrentModeName();
    {
        UnsplitScreen screen("screen");
        ASSERT_EQ(screen.removedMonitors(), 2u);
        const std::string added = screen.addMode(1280, 720);
        auto& displays = desktop->displays();
        // Without the split the server shows the output as a monitor of its own.
        ASSERT_TRUE(eventually([&] {
            const auto ids = displays.onlineDisplayIDs();
            return ids && ids->size() == 1 && displays.localizedName(ids->front()) == "screen" &&
                   displays.allModes(ids->front(), true).value_or(std::vector<DisplayMode>{}).size() >= 2;
        }));
        const auto id = displays.onlineDisplayIDs()->front();
        const auto original = displays.currentMode(id);
        const auto modes = displays.allModes(id, true);
        ASSERT_TRUE(original && modes);
        EXPECT_TRUE(std::is_sorted(modes->begin(), modes->end(), [](const DisplayMode& a, const DisplayMode& b) {
            return std::tie(a.ioDisplayModeID, a.ioFlags) < std::tie(b.ioDisplayModeID, b.ioFlags);
        }));
        const auto smaller =
            std::find_if(modes->begin(), modes->end(), [](const DisplayMode& mode) { return mode.width == 1280; });
        ASSERT_NE(smaller, modes->end());
        EXPECT_EQ(smaller->height, 720);
        EXPECT_NEAR(smaller->refreshRate, 60, 0.5);

        ASSERT_EQ(displays.setMode(id, *smaller), displayerror::success);
        EXPECT_EQ(witnessedCurrentModeName(), added);
        const auto switched = witnessedMonitors();
        ASSERT_EQ(switched.size(), 1u);
        EXPECT_EQ(std::make_pair(switched[0].width, switched[0].height), std::make_pair(1280, 720));
        EXPECT_THAT(witnessOutput("xrandr"), ::testing::HasSubstr("current 1280 x 720")) << "the screen shrank";
        EXPECT_EQ(displays.currentMode(id), *smaller);
        EXPECT_EQ(displays.bounds(id), (platform::Rect{0, 0, 1280, 720}));

        // The restore puts the first mode back, the screen's size with it.
        ASSERT_EQ(displays.setMode(id, *original), displayerror::success);
        EXPECT_EQ(witnessedCurrentModeName(), splitMode);
        EXPECT_THAT(witnessOutput("xrandr"), ::testing::HasSubstr("current 3840 x 2160"));
        EXPECT_EQ(displays.currentMode(id), *original);
    }
    EXPECT_EQ(monitorsAsListed(), split) << "the split is back as the session made it";
    EXPECT_EQ(witnessedCurrentModeName(), splitMode);
    EXPECT_THAT(witnessOutput("xrandr"), ::testing::Not(::testing::HasSubstr("zentrabo-")));
}

TEST_F(X11DisplayModes, ModesThatCannotBeShownAreIllegalArgumentsAndSwitchNothing) {
    auto& displays = desktop->displays();
    const auto ids = displays.onlineDisplayIDs();
    ASSERT_TRUE(ids && ids->size() == 2);
    const auto left = ids->at(0), right = ids->at(1);
    const auto leftMode = displays.currentMode(left).value();
    DisplayMode unlisted = leftMode;
    unlisted.ioDisplayModeID = 0x7fff0000;
    DisplayMode withoutId = leftMode;
    withoutId.ioDisplayModeID = 0;
    const struct {
        const char* what;
        platform::DisplayID display;
        DisplayMode mode;
    } cases[] = {
        {"a monitor without an output, its own mode", right, displays.currentMode(right).value()},
        {"the output's monitor, a mode it does not list", left, unlisted},
        {"the output's monitor, a mode without a RandR id", left, withoutId},
        {"no such display", 12345, leftMode},
    };
    const auto before = monitorsAsListed();
    const std::string mode = witnessedCurrentModeName();
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.what);
        EXPECT_EQ(displays.setMode(entry.display, entry.mode), displayerror::illegalArgument);
    }
    EXPECT_EQ(monitorsAsListed(), before);
    EXPECT_EQ(witnessedCurrentModeName(), mode);
}

}  // namespace
}  // namespace zentrabo::testing
