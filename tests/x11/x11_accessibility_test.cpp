// The X11 accessibility service against the test application's menus,
// dialog and text field on the session's accessibility bus.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/desktop/x11/x11_accessibility.hpp"
#include "support/scoped_environment.hpp"
#include "x11/x11_accessibility_fixture.hpp"

namespace zentrabo::testing {
namespace {

TEST_F(X11AccessibilityTest, MenusReadWithRolesEnabledStateAndShortcuts) {
    TestApplication application({.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Menus"));
    ASSERT_TRUE(accessibility().isProcessTrusted());
    const auto applicationElement = accessibility().applicationElement(application.pid());
    EXPECT_EQ(read<std::string>(applicationElement, "AXRole"), "AXApplication");
    const auto menuBar = menuBarOf(application);
    EXPECT_EQ(read<std::string>(menuBar, "AXRole"), "AXMenuBar");

    const auto items = menuElements(menuBar);
    struct Row {
        const char* path;
        const char* role;
        bool enabled;
        std::optional<std::string> character;
        std::optional<std::int64_t> modifiers;
    };
    const Row rows[] = {
        // Menus that open from an item are that item; in the bar, a bar item.
        {"File", "AXMenuBarItem", true, std::nullopt, std::nullopt},
        {"File/New Window", "AXMenuItem", true, "n", 0},
        {"File/Print", "AXMenuItem", false, std::nullopt, std::nullopt},
        {"File/Recent", "AXMenuItem", true, std::nullopt, std::nullopt},
        {"File/Recent/Second Document", "AXMenuItem", true, std::nullopt, std::nullopt},
        {"File/Quit", "AXMenuItem", true, "q", 0},
        {"Edit/Paste", "AXMenuItem", true, "v", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        ASSERT_TRUE(items.contains(row.path));
        const auto& item = items.at(row.path);
        EXPECT_EQ(read<std::string>(item, "AXRole"), row.role);
        EXPECT_EQ(read<bool>(item, "AXEnabled"), row.enabled);
        // Every menu element answers the character, with a value only when
        // it has a shortcut.
        EXPECT_EQ(accessibility().copyAttribute(item, "AXMenuItemCmdChar").error, axerror::success);
        EXPECT_EQ(read<std::string>(item, "AXMenuItemCmdChar"), row.character);
        EXPECT_EQ(read<std::int64_t>(item, "AXMenuItemCmdModifiers"), row.modifiers);
    }
    EXPECT_EQ(children(items.at("File")).size(), 6u) << "with the separator";
    EXPECT_EQ(accessibility().copyAttribute(menuBar, "AXNoSuchAttribute").error, axerror::attributeUnsupported);
}

TEST_F(X11AccessibilityTest, ADialogsCancelButtonIsFoundInTheMessagesLanguage) {
    struct Row {
        std::optional<std::string> language;
        std::string title;
    };
    const Row rows[] = {{std::nullopt, "Cancel"}, {"de", "Abbrechen"}, {"fr", "Annuler"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.language.value_or("English"));
        // The application and this process read the same language.
        const ScopedEnvironment environment(
            {{"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", "C.UTF-8"}, {"LANGUAGE", row.language}});
        TestApplication application({.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
        ASSERT_TRUE(waitForFrontWindow(application, "Menus"));
        const auto applicationElement = accessibility().applicationElement(application.pid());
        ASSERT_EQ(accessibility().performAction(menuElements(menuBarOf(application)).at("File/Confirm…"), "AXPress"),
                  axerror::success);
        std::optional<AXElement> cancel;
        ASSERT_TRUE(eventually([&] {
            const auto dialog = read<AXElement>(applicationElement, "AXFocusedWindow");
            cancel = dialog ? read<AXElement>(*dialog, "AXCancelButton") : std::nullopt;
            return cancel.has_value();
        }));
        EXPECT_EQ(read<std::string>(*cancel, "AXTitle"), row.title);
        ASSERT_EQ(accessibility().performAction(*cancel, "AXPress"), axerror::success);
        const auto response = application.reports().waitFor("dialog", "Menus");
        ASSERT_TRUE(response);
        EXPECT_EQ(response->text("response"), "cancel");
    }
}

TEST_F(X11AccessibilityTest, AStoppedApplicationCostsOneTimeoutAndAGoneOneIsInvalid) {
    auto application = std::make_unique<TestApplication>(
        TestApplicationOptions{.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
    ASSERT_TRUE(waitForMapped(*application, "Menus"));
    const auto menuBar = menuBarOf(*application);
    const auto file = children(menuBar).at(0);
    accessibility().setMessagingTimeout(menuBar, 1.0);

    // Extents are never cached on our side of the bus: the read reaches
    // the application.
    kill(application->pid(), SIGSTOP);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(accessibility().copyAttribute(menuBar, "AXPosition").error, axerror::cannotComplete);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::milliseconds(2500));
    kill(application->pid(), SIGCONT);
    EXPECT_TRUE(eventually([&] { return read<platform::Point>(menuBar, "AXPosition").has_value(); }));

    application.reset();
    EXPECT_TRUE(
        eventually([&] { return accessibility().copyAttribute(file, "AXTitle").error == axerror::invalidUIElement; }));
}

}  // namespace
}  // namespace zentrabo::testing
