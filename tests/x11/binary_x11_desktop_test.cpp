// The built binary controlling the tests' X session (--desktop x11): its
// start line, the display list and display screenshots as a phone gets them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstdint>
#include <string>
#include <vector>

#include "support/device_request.hpp"
#include "support/screenshot_picture.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/shown_pattern.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

class BinaryX11Desktop : public BinaryX11Test {
protected:
    HalvardineResponse screenshot(std::string id, std::optional<std::uint32_t> display, bool allDisplays) {
        MenuWorkflowStep step;
        step.id = id + "-step";
        step.kind = "displayScreenshot";
        step.title = "Screenshot";
        step.delayAfter = 0;
        step.screenshotDisplayID = display;
        step.screenshotCapturesAllDisplays = allDisplays;
        auto request = deviceRequest(std::move(id), "workflow");
        request.workflowSteps = std::vector{step};
        return send(phone, request);
    }
};

TEST_F(BinaryX11Desktop, ListsAndCapturesTheSessionsMonitors) {
    EXPECT_EQ(desktopDescription, std::string("X11 display ") + std::getenv("DISPLAY"));
    const auto witnessed = witnessedMonitors();
    ASSERT_EQ(witnessed.size(), 2u);
    TestApplication application({{{"Shown", 320, 240, {{2300, 400}}, {}, {}}}});
    const auto window = waitForFrontWindow(application, "Shown");
    ASSERT_TRUE(window);

    const auto listed = send(phone, deviceRequest("D-1", "screenshotDisplays"));
    ASSERT_TRUE(listed.ok) << listed.error.value_or("");
    ASSERT_TRUE(listed.displays);
    ASSERT_EQ(listed.displays->size(), 3u);
    const auto& main = listed.displays->at(0);
    const auto& all = listed.displays->at(1);
    const auto& right = listed.displays->at(2);
    EXPECT_TRUE(main.isMain);
    EXPECT_EQ(std::make_pair(main.pixelWidth, main.pixelHeight),
              std::make_pair(std::int64_t{witnessed[0].width}, std::int64_t{witnessed[0].height}));
    EXPECT_EQ(all.name, "All Monitors");
    EXPECT_EQ(std::make_pair(all.pixelWidth, all.pixelHeight),
              std::make_pair(std::int64_t{witnessed[1].x + witnessed[1].width}, std::int64_t{witnessed[1].height}));
    EXPECT_EQ(right.name, witnessed[1].name);
    EXPECT_EQ(right.frameX, witnessed[1].x);
    ASSERT_TRUE(right.displayID);

    // The window's first frame may come after it is mapped.
    int attempt = 0;
    EXPECT_TRUE(eventually([&] {
        const auto picture = onlyScreenshot(screenshot("S-" + std::to_string(++attempt), right.displayID, false));
        return picture.width == static_cast<std::uint32_t>(witnessed[1].width) &&
               showsPattern(picture, *window, window->x - witnessed[1].x, window->y - witnessed[1].y);
    })) << "the display screenshot never showed the window";
    const auto everything = onlyScreenshot(screenshot("S-all", std::nullopt, true));
    EXPECT_EQ(std::make_pair(everything.width, everything.height),
              std::make_pair(static_cast<std::uint32_t>(all.pixelWidth), static_cast<std::uint32_t>(all.pixelHeight)));
    EXPECT_TRUE(everything.width > 0 && showsPattern(everything, *window, window->x, window->y));

    ASSERT_TRUE(process->writeLine("status"));
    EXPECT_EQ(process->readLineStartingWith("desktop: ", terminalDeadline), "desktop: " + desktopDescription);
}

}  // namespace
}  // namespace zentrabo::testing
