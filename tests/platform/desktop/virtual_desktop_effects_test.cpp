// Effects of actions and their delays, driven by a manual clock.
#include <gmock/gmock.h>

#include <algorithm>
#include <chrono>

#include "desktop_fixture.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"

namespace zentrabo::platform {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

ScenarioSheet saveSheet() {
    ScenarioSheet sheet;
    sheet.title = "Save changes?";
    sheet.message = "Your changes will be lost.";
    sheet.buttons = {{"Don't Save", {dismissesSheet()}}, {"Cancel", {}}, {"Save", {}}};
    sheet.cancelButton = "Cancel";
    return sheet;
}

class EffectsTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        builder.application("Editor", "com.example.editor")
            .menu("File",
                  {menuItem("Close", "cmd+W").then(opensSheet(saveSheet())),
                   menuItem("Show Preview").then(activatesApplication("com.example.preview")), separator(),
                   menuItem("Print…", "cmd+P").disabled(), menuItem("Quit Editor", "cmd+Q").then(quitsApplication())})
            .window("Draft", {100, 100, 800, 600});
        builder.application("Notes", "com.example.notes").window("Note", {50, 50, 400, 300}).launchDelay(1.5);
        builder.application("Preview", "com.example.preview").notRunning().launchDelay(0.8);
        builder.frontmost("com.example.editor");
        start(builder);
    }

    AXElement sheet() {
        auto application = desktop->applicationElement(running("com.example.editor")->processIdentifier());
        auto window = std::get<AXElement>(*read(application, "AXFocusedWindow").value);
        for (const auto& child : children(window)) {
            if (std::get<std::string>(*read(child, "AXRole").value) == "AXSheet") return child;
        }
        return {};
    }
};

TEST_F(EffectsTest, PressingAMenuItemOpensItsSheetAndAButtonDismissesIt) {
    EXPECT_EQ(desktop->performAction(menuElement("com.example.editor", {"File", "Close"}), "AXPress"),
              axerror::success);
    const AXElement opened = sheet();
    ASSERT_EQ(opened.kind(), AXElement::Kind::node);
    EXPECT_EQ(title(opened), "Save changes?");

    const auto cancel = read(opened, "AXCancelButton");
    ASSERT_TRUE(cancel.value);
    EXPECT_EQ(title(std::get<AXElement>(*cancel.value)), "Cancel");
    EXPECT_EQ(desktop->performAction(std::get<AXElement>(*cancel.value), "AXPress"), axerror::success);

    EXPECT_EQ(sheet().kind(), AXElement::Kind::systemWide) << "the sheet is gone";
    EXPECT_EQ(read(opened, "AXRole").error, axerror::invalidUIElement);
}

TEST_F(EffectsTest, QuitLeavesAfterTheTerminateDelayAndTheNextApplicationComesForward) {
    auto editor = running("com.example.editor");
    desktop->performAction(menuElement("com.example.editor", {"File", "Quit Editor"}), "AXPress");
    EXPECT_FALSE(editor->isTerminated()) << "quitting takes a moment";

    clock.advance(0.2);
    EXPECT_FALSE(editor->isTerminated());
    clock.advance(0.05);
    EXPECT_TRUE(editor->isTerminated());
    EXPECT_EQ(running("com.example.editor"), nullptr);
    EXPECT_EQ(desktop->frontmostApplication()->bundleIdentifier(), "com.example.notes");
    EXPECT_EQ(read(desktop->applicationElement(editor->processIdentifier()), "AXRole").error,
              axerror::invalidUIElement);
}

TEST_F(EffectsTest, ActivatingAnApplicationThatDoesNotRunLaunchesIt) {
    desktop->performAction(menuElement("com.example.editor", {"File", "Show Preview"}), "AXPress");
    EXPECT_EQ(running("com.example.preview"), nullptr);

    // A wait loop as the controllers write it ends by itself: each turn jumps
    // to the launch, not in real time.
    const double start = clock.monotonicNow();
    while (!running("com.example.preview") && clock.monotonicNow() < start + 3.0) clock.runLoopTurn(0.05);

    ASSERT_NE(running("com.example.preview"), nullptr);
    EXPECT_NEAR(clock.monotonicNow() - start, 0.8, 1e-9);
    EXPECT_TRUE(running("com.example.preview")->isActive());
}

TEST_F(EffectsTest, ARunLoopTurnStopsAtTheNextDueEventAndOtherwiseAtItsLimit) {
    clock.runLoopTurn(0.05);
    EXPECT_NEAR(clock.monotonicNow(), 0.05, 1e-9) << "nothing due: the whole step";

    auto path = desktop->urlForApplication("com.example.preview");
    ASSERT_TRUE(path);
    EXPECT_TRUE(desktop->openApplication(*path, true).ok);
    clock.runLoopTurn(5.0);
    EXPECT_NEAR(clock.monotonicNow(), 0.85, 1e-9);
    EXPECT_NE(running("com.example.preview"), nullptr);
}

TEST_F(EffectsTest, TerminateCanBeRefusedButForcedTerminationCannot) {
    DesktopBuilder builder;
    builder.application("Stubborn", "com.example.stubborn").refusesTerminate().window("W", {0, 0, 300, 200});
    start(builder);
    auto stubborn = running("com.example.stubborn");
    EXPECT_FALSE(stubborn->terminate());
    clock.advance(10);
    EXPECT_FALSE(stubborn->isTerminated());
    EXPECT_TRUE(stubborn->forceTerminate());
    clock.advance(ScenarioApplication{}.forceTerminateDelay);
    EXPECT_TRUE(stubborn->isTerminated());
    EXPECT_EQ(desktop->frontmostApplication(), nullptr);
}

TEST_F(EffectsTest, ReopeningARunningApplicationBringsItForwardAtOnce) {
    auto path = desktop->urlForApplication("com.example.notes");
    ASSERT_TRUE(path);
    EXPECT_TRUE(desktop->openApplication(*path, true).ok);
    EXPECT_TRUE(running("com.example.notes")->isActive());
    EXPECT_THAT(journalTexts(), Contains("reopen com.example.notes"));
}

TEST_F(EffectsTest, ADisabledItemIsNotPressedAndAMenuBarCannotBe) {
    EXPECT_EQ(desktop->performAction(menuElement("com.example.editor", {"File", "Print…"}), "AXPress"),
              axerror::cannotComplete);
    auto application = desktop->applicationElement(running("com.example.editor")->processIdentifier());
    auto menuBar = std::get<AXElement>(*read(application, "AXMenuBar").value);
    EXPECT_EQ(desktop->performAction(menuBar, "AXPress"), axerror::actionUnsupported);
    EXPECT_TRUE(journalTexts().empty());
}

TEST_F(EffectsTest, AMenuPressIsOneWalkThatNeverPressesAfterItsCallerStoppedWaiting) {
    using Outcome = MenuPressResult::Outcome;
    const MenuReadLimits inTime;
    MenuReadLimits late;
    late.inAll = std::chrono::milliseconds(-1);
    struct Row {
        std::vector<std::string> path;
        const MenuReadLimits& limits;
        Outcome outcome;
        std::size_t level;
        bool pressed;
    };
    for (const auto& row : {Row{{"File", "Print…"}, inTime, Outcome::itemDisabled, 1, false},
                            Row{{"File", "Nothing"}, inTime, Outcome::itemNotFound, 1, false},
                            Row{{}, inTime, Outcome::pressFailed, 0, false},
                            Row{{"File", "Close"}, late, Outcome::menuUnreadable, 0, false},
                            Row{{"File", "Close"}, inTime, Outcome::pressed, 1, true}}) {
        SCOPED_TRACE(row.path.empty() ? "(empty)" : row.path.back());
        const auto path = row.path;
        const auto pressed = desktop->pressMenuItem(
            running("com.example.editor")->processIdentifier(), path.size(),
            [path](std::size_t level, const std::vector<std::string>& titles) -> std::optional<std::size_t> {
                const auto found = std::find(titles.begin(), titles.end(), path[level]);
                if (found == titles.end()) return std::nullopt;
                return static_cast<std::size_t>(found - titles.begin());
            },
            row.limits);
        EXPECT_EQ(pressed.outcome, row.outcome);
        if (row.outcome == Outcome::itemNotFound || row.outcome == Outcome::itemDisabled) {
            EXPECT_EQ(pressed.level, row.level);
        }
        EXPECT_EQ(!journalTexts().empty(), row.pressed);
    }
}

TEST_F(EffectsTest, AMenuTreeReadKeepsToItsItemDepthAndTimeBounds) {
    const auto pid = running("com.example.editor")->processIdentifier();
    MenuReadLimits fewItems;
    fewItems.maxItems = 2;
    MenuReadLimits menuBarOnly;
    menuBarOnly.maxDepth = 1;
    MenuReadLimits late;
    late.inAll = std::chrono::milliseconds(-1);
    const auto whole = desktop->menuTree(pid, MenuReadLimits{});
    ASSERT_EQ(whole.error, axerror::success);
    EXPECT_EQ(whole.items.at(0).children.size(), 5u) << "with the separator";
    const auto cut = desktop->menuTree(pid, fewItems);
    ASSERT_EQ(cut.items.size(), 1u);
    EXPECT_EQ(cut.items[0].children.size(), 1u);
    EXPECT_TRUE(desktop->menuTree(pid, menuBarOnly).items.at(0).children.empty());
    const auto outOfTime = desktop->menuTree(pid, late);
    EXPECT_EQ(outOfTime.error, axerror::cannotComplete);
    EXPECT_TRUE(outOfTime.items.empty());
}

TEST_F(EffectsTest, AnUnresponsiveApplicationHoldsEveryCallForItsMessagingTimeout) {
    DesktopBuilder builder;
    builder.application("Busy", "com.example.busy").unresponsive().window("W", {0, 0, 300, 200});
    start(builder);
    auto element = desktop->applicationElement(running("com.example.busy")->processIdentifier());
    EXPECT_EQ(read(element, "AXMenuBar").error, axerror::cannotComplete);
    EXPECT_NEAR(clock.monotonicNow(), VirtualDesktop::defaultMessagingTimeout, 1e-9);

    desktop->setMessagingTimeout(element, 1.0);
    const double before = clock.monotonicNow();
    EXPECT_EQ(desktop->bringApplicationForward(running("com.example.busy")->processIdentifier()),
              axerror::cannotComplete);
    EXPECT_NEAR(clock.monotonicNow() - before, 1.0, 1e-9);
}

TEST_F(EffectsTest, WithoutTrustEveryAccessibilityCallIsRefused) {
    desktop->setAccessibilityTrusted(false);
    EXPECT_FALSE(desktop->isProcessTrusted());
    auto element = desktop->applicationElement(running("com.example.editor")->processIdentifier());
    EXPECT_EQ(read(element, "AXRole").error, axerror::apiDisabled);
}

TEST(ScenarioValidationTest, RefusesMenusDeeperThanTheTreeLimit) {
    TemporaryHome home;
    ScenarioMenuItem item = menuItem("Leaf");
    for (int level = 0; level < VirtualDesktop::maximumTreeDepth; ++level) item = submenu("Level", {item});
    DesktopBuilder builder;
    builder.application("Deep", "com.example.deep").menu("Top", {item});
    ManualClock clock;
    try {
        VirtualDesktop::create(builder.build(), clock);
        FAIL() << "a scenario nested beyond the limit was accepted";
    } catch (const ScenarioError& error) {
        EXPECT_THAT(error.what(), ::testing::HasSubstr("deeper than 64"));
    }
}

TEST(ScenarioValidationTest, ShortcutsCarryTheAccessibilityModifierValue) {
    const auto plain = parseMenuShortcut("cmd+S");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->modifiers, 0);
    EXPECT_EQ(parseMenuShortcut("cmd+shift+S")->modifiers, 1);
    EXPECT_EQ(parseMenuShortcut("control+F2")->modifiers, 12);
    EXPECT_EQ(parseMenuShortcut("S")->modifiers, 8);
    EXPECT_EQ(parseMenuShortcut("cmd++")->character, "+");
    EXPECT_FALSE(parseMenuShortcut("hyper+S"));
    EXPECT_FALSE(parseMenuShortcut("cmd+"));
}

TEST(ScenarioValidationTest, RefusesNamesThatLeaveTheApplicationFolder) {
    DesktopBuilder builder;
    builder.application("../Escape", "com.example.escape");
    EXPECT_THROW(validateScenario(builder.build()), ScenarioError);
    DesktopBuilder nested;
    nested.application("Fine", "com.example.fine").installedIn(ApplicationFolder::system, "Utilities/../..");
    EXPECT_THROW(validateScenario(nested.build()), ScenarioError);
}

}  // namespace
}  // namespace zentrabo::platform

namespace zentrabo::platform {
namespace {

TEST_F(EffectsTest, RepeatedPressesStopAddingWindowsAndSheetsAtTheirLimits) {
    DesktopBuilder builder;
    ScenarioSheet sheet;
    sheet.title = "Again";
    builder.application("Opener", "com.example.opener")
        .menu("File", {menuItem("New").then(opensWindow("More")), menuItem("Ask").then(opensSheet(sheet))});
    start(builder);
    const auto item = menuElement("com.example.opener", {"File", "New"});
    for (std::size_t i = 0; i < VirtualDesktop::maximumWindowsPerApplication + 5; ++i)
        desktop->performAction(item, "AXPress");
    const auto application = desktop->applicationElement(running("com.example.opener")->processIdentifier());
    EXPECT_EQ(std::get<std::vector<AXElement>>(*read(application, "AXWindows").value).size(),
              VirtualDesktop::maximumWindowsPerApplication);

    const auto ask = menuElement("com.example.opener", {"File", "Ask"});
    for (std::size_t i = 0; i < VirtualDesktop::maximumSheetsPerWindow + 5; ++i) desktop->performAction(ask, "AXPress");
    const auto front = std::get<AXElement>(*read(application, "AXFocusedWindow").value);
    EXPECT_EQ(children(front).size(), VirtualDesktop::maximumSheetsPerWindow);
}

}  // namespace
}  // namespace zentrabo::platform
