// The X11 desktop's services against the tests' X session, each checked
// against what the X tools (the independent witnesses) read.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "x11/x11_desktop_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using platform::ListedWindow;

class X11DesktopServices : public X11DesktopTest {
protected:
    std::vector<std::uint32_t> listedNumbers() {
        std::vector<std::uint32_t> numbers;
        const auto windows = desktop->windowServer().windows().value();
        for (const auto& window : windows) numbers.push_back(window.id);
        return numbers;
    }

    std::optional<ListedWindow> listedWindow(std::uint32_t number) {
        return platform::listedWindow(desktop->windowServer(), number);
    }

    std::shared_ptr<platform::RunningApplication> running(int pid) {
        for (auto& application : desktop->workspace().runningApplications()) {
            if (application->processIdentifier() == pid) return application;
        }
        return nullptr;
    }

    int frontmostPid() {
        const auto front = desktop->workspace().frontmostApplication();
        return front ? front->processIdentifier() : 0;
    }
};

// "_NET_WM_NAME = "Main"" -> Main
std::string witnessedTitle(std::uint32_t window) {
    const std::string text = witnessedProperty("_NET_WM_NAME", window);
    const auto start = text.find("= \"");
    const auto end = text.rfind('"');
    return start == std::string::npos || end <= start + 3 ? "" : text.substr(start + 3, end - start - 3);
}

TEST_F(X11DesktopServices, TheWindowListIsTheWindowManagersInStackingOrderWithFramesAndOwners) {
    TestApplication application(
        {{{"Main", 400, 300, {{100, 200}}, {}, {}}, {"Beside", 300, 200, {{2100, 150}}, {}, {}}}});
    const auto main = waitForMapped(application, "Main");
    const auto beside = waitForMapped(application, "Beside");
    ASSERT_TRUE(main && beside);
    BareWindow bare("Bare window");
    ASSERT_TRUE(eventually([&] { return witnessedNumbers("_NET_FRAME_EXTENTS", bare.id()).size() == 4; }))
        << "the window manager never framed the bare window";
    ASSERT_TRUE(witnessedNumbers("_NET_WM_PID", bare.id()).empty());

    // Front to back: the stacking list read backwards. Both are read again
    // until they agree, as the window manager may restack in between.
    std::vector<std::uint32_t> expected;
    EXPECT_TRUE(eventually([&] {
        expected = witnessedNumbers("_NET_CLIENT_LIST_STACKING");
        std::reverse(expected.begin(), expected.end());
        return listedNumbers() == expected;
    })) << "listed windows never matched the stacking list";

    struct Owned {
        std::uint32_t window;
        int pid;
        std::string title;
    };
    for (const auto& [window, pid, title] : {Owned{main->xid, application.pid(), witnessedTitle(main->xid)},
                                             Owned{beside->xid, application.pid(), witnessedTitle(beside->xid)},
                                             Owned{bare.id(), static_cast<int>(getpid()), "Bare window"}}) {
        SCOPED_TRACE(title);
        const auto entry = listedWindow(window);
        ASSERT_TRUE(entry);
        const auto frame = witnessedFrame(window);
        ASSERT_TRUE(frame);
        EXPECT_EQ(entry->frame, *frame);
        EXPECT_EQ(entry->ownerPID, pid);
        EXPECT_EQ(entry->ownerName, witnessedProcessName(pid));
        EXPECT_EQ(entry->title, title);
        EXPECT_EQ(entry->layer, 0);
        EXPECT_EQ(entry->alpha, 1.0);
        EXPECT_TRUE(entry->onScreen);
        EXPECT_FALSE(entry->isDesktopElement);
    }
    EXPECT_EQ(witnessedTitle(main->xid), "Main");

    // A minimized window stays in the list but leaves the on-screen one.
    witnessOutput("xdotool windowminimize --sync " + std::to_string(beside->xid));
    EXPECT_TRUE(eventually([&] {
        const auto listed = listedWindow(beside->xid);
        return listed && !listed->onScreen;
    }));
    EXPECT_TRUE(listedWindow(beside->xid));
}

TEST_F(X11DesktopServices, TheFrontmostApplicationFollowsTheActiveWindow) {
    auto first = std::make_unique<TestApplication>(TestApplicationOptions{{{"First", 300, 200, {{100, 100}}, {}, {}}}});
    TestApplication second({{{"Second", 300, 200, {{700, 100}}, {}, {}}}, std::string(kSecondTestApplicationId)});
    const auto firstWindow = waitForMapped(*first, "First");
    const auto secondWindow = waitForMapped(second, "Second");
    ASSERT_TRUE(firstWindow && secondWindow);
    const int firstPid = first->pid();
    ASSERT_TRUE(eventually([&] { return running(firstPid) && running(second.pid()); }));
    const auto firstApplication = running(firstPid);
    const auto secondApplication = running(second.pid());
    // Matched to the desktop entry the session installed for its id; a
    // process without an entry keeps its process name and no identifier.
    EXPECT_EQ(firstApplication->bundleIdentifier(), "org.zentrabo.TestApp.desktop");
    EXPECT_EQ(firstApplication->localizedName(), "Zentrabo Test App");
    EXPECT_EQ(secondApplication->bundleIdentifier(), "org.zentrabo.TestApp2.desktop");
    EXPECT_EQ(running(firstPid), firstApplication) << "one handle a process";
    const BareWindow bare("Without an entry");
    ASSERT_TRUE(eventually([&] { return running(getpid()) != nullptr; }));
    EXPECT_EQ(running(getpid())->localizedName(), witnessedProcessName(getpid()));
    EXPECT_FALSE(running(getpid())->bundleIdentifier());

    // The window manager activates a window: its owner comes to the front.
    activateWindow(firstWindow->xid);
    EXPECT_TRUE(eventually([&] { return frontmostPid() == firstPid; }));
    EXPECT_TRUE(firstApplication->isActive());
    EXPECT_FALSE(secondApplication->isActive());

    // Activating an application asks the window manager to activate its window.
    EXPECT_TRUE(secondApplication->activate(false));
    EXPECT_TRUE(eventually(
        [&] { return witnessedNumbers("_NET_ACTIVE_WINDOW") == std::vector<std::uint32_t>{secondWindow->xid}; }));
    EXPECT_TRUE(eventually([&] { return frontmostPid() == second.pid(); }));

    // A process that has gone is terminated and no longer runs.
    EXPECT_FALSE(firstApplication->isTerminated());
    first.reset();
    EXPECT_TRUE(firstApplication->isTerminated());
    EXPECT_FALSE(firstApplication->activate(false));
    EXPECT_TRUE(eventually([&] { return running(firstPid) == nullptr; }));
}

// The output a monitor shows ("screen"), from xrandr's listing
// (" 0: *Left 1920/508x2160/571+0+0  screen"); empty for a monitor made
// without one.
std::string witnessedOutput(const std::string& monitor) {
    std::istringstream listing(witnessOutput("xrandr --listmonitors"));
    for (std::string line; std::getline(listing, line);) {
        std::istringstream words(line);
        std::string number, name, geometry, output;
        words >> number >> name >> geometry >> output;
        if (name.find_first_not_of("+*") != std::string::npos && name.substr(name.find_first_not_of("+*")) == monitor) {
            return output;
        }
    }
    return "";
}

TEST_F(X11DesktopServices, TheDisplaysAreTheSessionsMonitors) {
    auto& displays = desktop->displays();
    const auto witnessed = witnessedMonitors();
    const auto ids = displays.onlineDisplayIDs();
    ASSERT_TRUE(ids);
    ASSERT_EQ(ids->size(), witnessed.size());
    ASSERT_EQ(witnessed.size(), 2u);
    for (std::size_t index = 0; index < witnessed.size(); ++index) {
        const auto& monitor = witnessed[index];
        const platform::DisplayID id = (*ids)[index];
        SCOPED_TRACE(monitor.name);
        // The id is the monitor's name atom.
        EXPECT_THAT(witnessOutput("xlsatoms -name " + monitor.name), ::testing::StartsWith(std::to_string(id) + "\t"));
        EXPECT_EQ(displays.bounds(id),
                  (platform::Rect{static_cast<double>(monitor.x), static_cast<double>(monitor.y),
                                  static_cast<double>(monitor.width), static_cast<double>(monitor.height)}));
        EXPECT_EQ(displays.pixelsWide(id), monitor.width);
        EXPECT_EQ(displays.pixelsHigh(id), monitor.height);
        EXPECT_EQ(id == displays.mainDisplayID(), monitor.primary);
        const std::string output = witnessedOutput(monitor.name);
        EXPECT_EQ(displays.localizedName(id), output.empty() ? monitor.name : output);
        const auto current = displays.currentMode(id);
        const auto modes = displays.allModes(id, false);
        ASSERT_TRUE(current && modes);
        EXPECT_THAT(*modes, ::testing::Contains(*current));
        if (output.empty()) {
            // Without an output: its geometry is its one mode.
            EXPECT_EQ(*modes, std::vector{*current});
            EXPECT_EQ(std::make_pair(current->width, current->height),
                      std::make_pair(std::int64_t{monitor.width}, std::int64_t{monitor.height}));
        } else {
            EXPECT_NE(current->ioDisplayModeID, 0) << "the RandR mode";
        }
        EXPECT_EQ(current->pixelWidth, current->width) << "points are pixels";
    }
    EXPECT_EQ(displays.mainScreenBackingScaleFactor(), 1.0);
    EXPECT_EQ(displays.bounds(12345), platform::Rect{});
}

TEST_F(X11DesktopServices, ADisplayImageShowsTheApplicationsPatternAtItsPlace) {
    TestApplication application({{{"Pattern", 320, 240, {{2300, 400}}, {}, {}}}});
    const auto window = waitForFrontWindow(application, "Pattern");
    ASSERT_TRUE(window);
    const auto witnessed = witnessedMonitors();
    ASSERT_EQ(witnessed.size(), 2u);
    const platform::DisplayID right = desktop->displays().onlineDisplayIDs().value().at(1);
    const int w = window->width, h = window->height;
    const std::vector<std::pair<int, int>> points{
        {2, 2}, {w / 2 - 2, h / 2 - 2}, {w / 2 + 2, h / 2 - 2}, {w / 2 - 2, h / 2 + 2}, {w - 3, h - 3}};
    std::optional<platform::RgbaImage> image;
    // The first frame may be drawn after the window is mapped.
    EXPECT_TRUE(eventually([&] {
        image = desktop->screenCapture().displayImage(right);
        if (!image) return false;
        return std::all_of(points.begin(), points.end(), [&](const auto& point) {
            const auto* pixel = image->pixel(static_cast<std::uint32_t>(window->x - witnessed[1].x + point.first),
                                             static_cast<std::uint32_t>(window->y - witnessed[1].y + point.second));
            return Rgb{pixel[0], pixel[1], pixel[2]} ==
                   testPatternColour(window->colour, w, h, point.first, point.second);
        });
    }));
    ASSERT_TRUE(image);
    EXPECT_EQ(std::make_pair(image->width, image->height),
              std::make_pair(static_cast<std::uint32_t>(witnessed[1].width),
                             static_cast<std::uint32_t>(witnessed[1].height)));
    EXPECT_EQ(image->pixel(0, 0)[3], 255) << "opaque";
    EXPECT_FALSE(desktop->screenCapture().displayImage(12345));

    // The same picture in place, in the server's byte order: the pattern's
    // colours where the RGBA image has them.
    const auto sameColours = [&](const platform::PackedPixels& pixels) {
        ASSERT_EQ(std::make_pair(pixels.width, pixels.height), std::make_pair(image->width, image->height));
        const auto order = pixels.order;
        const int red = order == platform::PackedPixelOrder::rgbx   ? 0
                        : order == platform::PackedPixelOrder::bgrx ? 2
                        : order == platform::PackedPixelOrder::xrgb ? 1
                                                                    : 3;
        const int blue = order == platform::PackedPixelOrder::rgbx   ? 2
                         : order == platform::PackedPixelOrder::bgrx ? 0
                         : order == platform::PackedPixelOrder::xrgb ? 3
                                                                     : 1;
        const int green =
            (order == platform::PackedPixelOrder::rgbx || order == platform::PackedPixelOrder::bgrx) ? 1 : 2;
        for (const auto& point : points) {
            const auto x = static_cast<std::uint32_t>(window->x - witnessed[1].x + point.first);
            const auto y = static_cast<std::uint32_t>(window->y - witnessed[1].y + point.second);
            const std::uint8_t* pixel = pixels.data + y * pixels.stride + x * 4;
            EXPECT_EQ((Rgb{pixel[red], pixel[green], pixel[blue]}),
                      testPatternColour(window->colour, w, h, point.first, point.second))
                << point.first << ", " << point.second;
        }
    };
    EXPECT_TRUE(desktop->screenCapture().withDisplayPixels(right, sameColours));
    EXPECT_FALSE(desktop->screenCapture().withDisplayPixels(
        12345, [](const platform::PackedPixels&) { ADD_FAILURE() << "pixels of an unknown display"; }));
}

}  // namespace
}  // namespace zentrabo::testing
