// Quitting and restarting applications.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;

class QuitRestartTest : public ControllerTest {
protected:
    DesktopBuilder builder;

    void SetUp() override {
        builder.application("Finder", "com.example.finder").window("Home", {0, 0, 400, 300});
        builder.frontmost("com.example.finder");
    }

    std::vector<std::string> lifecycleJournal() {
        std::vector<std::string> texts;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "terminate" || entry.action == "forceTerminate" || entry.action == "launch" ||
                entry.action == "reopen" || entry.action == "appear" || entry.action == "exit") {
                texts.push_back(entry.text());
            }
        }
        return texts;
    }
};

TEST_F(QuitRestartTest, QuitAsksTheNamedOrFrontmostApplicationPolitelyWithoutWaiting) {
    builder.application("Editor", "com.example.editor").window("Doc", {0, 0, 400, 300});
    builder.application("Stubborn", "com.example.stubborn").refusesTerminate();
    start(builder);

    controller->quitApplication("com.example.editor");
    EXPECT_EQ(clock.monotonicNow(), 0);
    EXPECT_THAT(lifecycleJournal(), ElementsAre("terminate com.example.editor"));

    EXPECT_EQ(failure([&] { controller->quitApplication("com.example.stubborn"); }), Case::actionFailed);
    EXPECT_THAT(journalTexts(), Contains("terminate com.example.stubborn: refused"));

    // Without an identifier, or with a blank one, the frontmost one quits.
    desktop->clearJournal();
    controller->quitApplication(std::nullopt);
    controller->quitApplication("  ");
    EXPECT_THAT(lifecycleJournal(), ElementsAre("terminate com.example.finder"));
}

TEST_F(QuitRestartTest, QuitOfAnApplicationThatDoesNotRunNeverQuitsAnother) {
    builder.application("Editor", "com.example.editor").notRunning();
    start(builder);

    EXPECT_EQ(failure([&] { controller->quitApplication("com.example.editor"); }), Case::applicationNotRunning);
    EXPECT_EQ(failure([&] { controller->quitApplication("COM.EXAMPLE.FINDER"); }), Case::applicationNotRunning);
    EXPECT_THAT(lifecycleJournal(), IsEmpty());
    EXPECT_FALSE(running("com.example.finder")->isTerminated());
}

TEST_F(QuitRestartTest, RestartReplacesTheRunningInstanceAndBringsTheNewOneForward) {
    builder.application("Editor", "com.example.editor")
        .terminateDelay(0.5)
        .launchDelay(0.4)
        .window("Doc", {0, 0, 400, 300});
    start(builder);
    const auto old = running("com.example.editor");

    controller->restartApplication("com.example.editor");
    const auto fresh = running("com.example.editor");
    ASSERT_NE(fresh, nullptr);
    EXPECT_NE(fresh->processIdentifier(), old->processIdentifier());
    EXPECT_TRUE(old->isTerminated());
    EXPECT_TRUE(controller->isFrontmost(*fresh));
    EXPECT_THAT(lifecycleJournal(), ElementsAre("terminate com.example.editor", "exit com.example.editor",
                                                "launch com.example.editor", "appear com.example.editor"));
    EXPECT_NEAR(clock.monotonicNow(), 0.9, 1e-9);
}

TEST_F(QuitRestartTest, RestartForcesAnInstanceThatRefusesOrIsSlowToLeave) {
    builder.application("Stubborn", "com.example.stubborn").refusesTerminate();
    builder.application("Slow", "com.example.slow").terminateDelay(10);
    start(builder);

    controller->restartApplication("com.example.stubborn");
    EXPECT_THAT(lifecycleJournal(),
                ElementsAre("terminate com.example.stubborn: refused", "forceTerminate com.example.stubborn",
                            "exit com.example.stubborn", "launch com.example.stubborn", "appear com.example.stubborn"));

    desktop->clearJournal();
    const double start = clock.monotonicNow();
    controller->restartApplication("com.example.slow");
    EXPECT_THAT(lifecycleJournal(),
                ElementsAre("terminate com.example.slow", "forceTerminate com.example.slow", "exit com.example.slow",
                            "launch com.example.slow", "appear com.example.slow"));
    // The polite request had its 1.5 s before the forced one.
    EXPECT_GE(desktop->journal()[1].time - start, 1.5);
}

TEST_F(QuitRestartTest, RestartNeverForcesAnInstanceThatStaysToAskItsUserAndSaysWhatItAsks) {
    ScenarioSheet question;
    question.message = "Save changes?";
    question.buttons = {{"Save", {}}, {"Don't Save", {}}, {"Cancel", {}}};
    builder.application("Editor", "com.example.editor")
        .terminateDelay(10)
        .menu("File", {menuItem("Close").then(opensSheet(question))})
        .window("Doc", {0, 0, 600, 400});
    start(builder);
    const auto old = running("com.example.editor");
    ASSERT_EQ(desktop->performAction(menuElement("com.example.editor", {"File", "Close"}), "AXPress"),
              axerror::success);
    desktop->clearJournal();

    std::optional<MacMenuError> refused;
    try {
        controller->restartApplication("com.example.editor");
    } catch (const MacMenuError& error) {
        refused = error;
    }
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->errorCase(), Case::inputBlocked);
    ASSERT_TRUE(refused->modal());
    EXPECT_EQ(refused->modal()->message, "Save changes?");
    EXPECT_FALSE(old->isTerminated());
    EXPECT_THAT(lifecycleJournal(), ElementsAre("terminate com.example.editor"));
    EXPECT_NEAR(clock.monotonicNow(), 1.5, 0.1);
}

TEST_F(QuitRestartTest, RestartOfAnApplicationThatDoesNotRunIsALaunch) {
    builder.application("Editor", "com.example.editor").notRunning().window("Doc", {0, 0, 400, 300});
    start(builder);

    controller->restartApplication("com.example.editor");
    EXPECT_THAT(lifecycleJournal(), ElementsAre("launch com.example.editor", "appear com.example.editor"));
    EXPECT_TRUE(controller->isFrontmost(*running("com.example.editor")));

    // An identifier that differs only in case launches nothing and quits nothing.
    desktop->clearJournal();
    EXPECT_EQ(failure([&] { controller->restartApplication("COM.EXAMPLE.EDITOR"); }), Case::applicationNotFound);
    EXPECT_THAT(lifecycleJournal(), IsEmpty());
    EXPECT_EQ(failure([&] { controller->restartApplication(""); }), Case::applicationRequired);
    EXPECT_EQ(failure([&] { controller->restartApplication(std::nullopt); }), Case::applicationRequired);
}

TEST_F(QuitRestartTest, RestartFailsWhenTheOldProcessLingersThroughEveryWait) {
    builder.application("Hung", "com.example.hung").terminateDelay(60).forceTerminateDelay(60);
    start(builder);
    const auto old = running("com.example.hung");

    EXPECT_EQ(failure([&] { controller->restartApplication("com.example.hung"); }), Case::actionFailed);
    EXPECT_FALSE(old->isTerminated());
    EXPECT_THAT(lifecycleJournal(), ElementsAre("terminate com.example.hung", "forceTerminate com.example.hung",
                                                "reopen com.example.hung"));
    // 1.5 s, 2.0 s and 5.0 s of waiting, by the clock alone.
    EXPECT_NEAR(clock.monotonicNow(), 8.5, 0.1);
}

}  // namespace
}  // namespace zentrabo
