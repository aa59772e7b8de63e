// Finding, launching, raising applications and moving their windows.
#include <gmock/gmock.h>

#include <algorithm>

#include "controller_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Case = MacMenuError::Case;

ScenarioWindow minimizedWindow(Rect frame) {
    ScenarioWindow window;
    window.title = "Minimized";
    window.frame = frame;
    window.minimized = true;
    return window;
}

class ActivationTest : public ControllerTest {
protected:
    // The journal entries of one action, as text.
    std::vector<std::string> journalOf(const std::string& action) {
        std::vector<std::string> texts;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == action) texts.push_back(entry.text());
        }
        return texts;
    }

    Rect frameOf(const std::string& bundleIdentifier, const std::string& windowTitle) {
        for (const auto& window : desktop->applicationWindows(running(bundleIdentifier)->processIdentifier())) {
            if (window.title == windowTitle) return window.frame.value_or(Rect{});
        }
        ADD_FAILURE() << "no window " << windowTitle;
        return {};
    }
};

TEST_F(ActivationTest, LaunchesAnApplicationThatAppearsLateWithinTheWait) {
    DesktopBuilder builder;
    builder.application("Finder", "com.example.finder").window("Home", {0, 0, 400, 300});
    builder.application("Slow", "com.example.slow").notRunning().launchDelay(2.9).window("Main", {0, 0, 400, 300});
    start(builder);

    const auto application = controller->activateApplication("com.example.slow");
    ASSERT_NE(application, nullptr);
    EXPECT_EQ(application->bundleIdentifier(), "com.example.slow");
    EXPECT_NEAR(clock.monotonicNow(), 2.9, 1e-9) << "the wait ends when the application appears";
    EXPECT_THAT(journalTexts(), Contains("launch com.example.slow"));

    // Already running: found without a second launch and without waiting.
    desktop->clearJournal();
    const double before = clock.monotonicNow();
    EXPECT_EQ(controller->activateApplication("com.example.slow"), application);
    EXPECT_EQ(clock.monotonicNow(), before);
    EXPECT_TRUE(journalTexts().empty());
}

TEST_F(ActivationTest, ALaunchThatNeverCompletesFailsAfterThreeSeconds) {
    DesktopBuilder builder;
    builder.application("Finder", "com.example.finder").window("Home", {0, 0, 400, 300});
    builder.application("Stuck", "com.example.stuck").notRunning().launchDelay(30);
    start(builder);

    EXPECT_EQ(failure([&] { controller->activateApplication("com.example.stuck"); }), Case::applicationNotRunning);
    EXPECT_GE(clock.monotonicNow(), 3.0);
    EXPECT_LT(clock.monotonicNow(), 3.0 + 0.05 + 1e-9);
}

TEST_F(ActivationTest, FailsBeforeLaunchingWhatIsNotInstalledOrWhenNothingIsInFront) {
    DesktopBuilder builder;
    builder.application("Agent", "com.example.agent").policy(ActivationPolicy::accessory);
    builder.application("Gone", "com.example.gone").notRunning().notInstalled();
    start(builder);

    try {
        controller->activateApplication("com.example.gone");
        ADD_FAILURE() << "no failure";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::applicationNotFound);
        EXPECT_THAT(error.errorDescription(), HasSubstr("com.example.gone"));
    }
    // A different letter case names another application.
    EXPECT_EQ(failure([&] { controller->activateApplication("COM.EXAMPLE.AGENT"); }), Case::applicationNotFound);
    EXPECT_THAT(journalOf("launch"), ::testing::IsEmpty());
    EXPECT_EQ(failure([&] { controller->activateApplication(std::nullopt); }), Case::noFrontmostApplication);
    EXPECT_EQ(clock.monotonicNow(), 0);
}

TEST_F(ActivationTest, RaisingBringsTheWindowsThatAreNotMinimizedForwardInTheirOrder) {
    DesktopBuilder builder;
    builder.application("Front", "com.example.front").window("Other", {0, 0, 400, 300});
    builder.application("Back", "com.example.back")
        .window("First", {0, 0, 400, 300})
        .window(minimizedWindow({0, 0, 400, 300}))
        .window("Last", {0, 0, 400, 300});
    builder.frontmost("com.example.front");
    start(builder);
    auto back = running("com.example.back");

    desktop->clearJournal();
    controller->raiseApplication(*back, true);
    EXPECT_TRUE(controller->isFrontmost(*back));
    EXPECT_THAT(journalOf("raise"), ElementsAre("raise com.example.back: Last", "raise com.example.back: First"));
    EXPECT_THAT(journalOf("activate"), ElementsAre("activate com.example.back: all windows"));
    EXPECT_EQ(clock.monotonicNow(), 0) << "frontmost at once, no wait";

    // Already in front: nothing is asked of it at all.
    desktop->clearJournal();
    controller->raiseApplication(*back, true);
    EXPECT_TRUE(journalTexts().empty());
}

TEST_F(ActivationTest, MovesOnlyWindowsWhoseCentreLiesOffTheDisplay) {
    DesktopBuilder builder;
    builder.application("Editor", "com.example.editor")
        .window("Centred", {100, 100, 400, 300})
        .window("Wide", {0, 0, 2400, 300})
        .window("Straddling", {1300, 100, 400, 300})
        .window(minimizedWindow({100, 100, 400, 300}));
    builder.display(1, {0, 0, 1440, 900});
    builder.display(2, {1440, 0, 1920, 1080});
    start(builder);
    auto editor = running("com.example.editor");

    controller->moveApplication(*editor, 2);
    EXPECT_EQ(frameOf("com.example.editor", "Centred"), (Rect{1440 + 760, 390, 400, 300}));
    // Wider than the display: its left edge on the display's left edge.
    EXPECT_EQ(frameOf("com.example.editor", "Wide"), (Rect{1440, 390, 2400, 300}));
    // Its centre (1500, 250) is on the display already.
    EXPECT_EQ(frameOf("com.example.editor", "Straddling"), (Rect{1300, 100, 400, 300}));
    EXPECT_EQ(frameOf("com.example.editor", "Minimized"), (Rect{100, 100, 400, 300}));

    // 0 is the main display; an unknown display moves nothing.
    controller->moveApplication(*editor, 0);
    EXPECT_EQ(frameOf("com.example.editor", "Centred"), (Rect{520, 300, 400, 300}));
    EXPECT_EQ(frameOf("com.example.editor", "Straddling"), (Rect{520, 300, 400, 300}));
    desktop->clearJournal();
    controller->moveApplication(*editor, 77);
    EXPECT_THAT(journalOf("setWindow"), ::testing::IsEmpty());

    // Without accessibility access nothing is touched.
    desktop->setAccessibilityTrusted(false);
    controller->moveApplication(*editor, 2);
    desktop->setAccessibilityTrusted(true);
    EXPECT_EQ(frameOf("com.example.editor", "Centred"), (Rect{520, 300, 400, 300}));
}

}  // namespace
}  // namespace zentrabo
