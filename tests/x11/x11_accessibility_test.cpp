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

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/desktop/atspi/atspi_thread.hpp"
#include "platform/desktop/x11/x11_accessibility.hpp"
#include "support/scoped_environment.hpp"
#include "x11/x11_accessibility_fixture.hpp"

namespace zentrabo::testing {
namespace {

TEST_F(X11AccessibilityTest, MenusReadInOneCallWithRolesEnabledStateAndShortcuts) {
    TestApplication application({.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Menus"));
    ASSERT_TRUE(accessibility().isProcessTrusted());
    const auto read = accessibility().menuTree(application.pid(), DesktopController::menuReadLimits());
    ASSERT_EQ(read.error, axerror::success);
    std::map<std::string, platform::AccessibleMenuItem> items;
    std::vector<std::pair<std::string, const platform::AccessibleMenuItem*>> pending;
    for (const auto& item : read.items) pending.emplace_back(item.title, &item);
    while (!pending.empty()) {
        const auto [path, item] = pending.back();
        pending.pop_back();
        items.emplace(path, *item);
        for (const auto& child : item->children) pending.emplace_back(path + "/" + child.title, &child);
    }
    struct Row {
        const char* path;
        const char* role;
        bool enabled;
        std::optional<platform::MenuShortcut> shortcut;
    };
    const Row rows[] = {
        // Menus that open from an item are that item; in the bar, a bar item.
        {"File", "AXMenuBarItem", true, std::nullopt},
        {"File/New Window", "AXMenuItem", true, platform::MenuShortcut{"n", 0}},
        {"File/Print", "AXMenuItem", false, std::nullopt},
        {"File/Recent", "AXMenuItem", true, std::nullopt},
        {"File/Recent/Second Document", "AXMenuItem", true, std::nullopt},
        {"File/Quit", "AXMenuItem", true, platform::MenuShortcut{"q", 0}},
        {"Edit/Paste", "AXMenuItem", true, platform::MenuShortcut{"v", 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        ASSERT_TRUE(items.contains(row.path));
        const auto& item = items.at(row.path);
        EXPECT_EQ(item.role, row.role);
        EXPECT_EQ(item.enabled, row.enabled);
        EXPECT_EQ(item.shortcut, row.shortcut);
    }
    EXPECT_EQ(items.at("File").children.size(), 6u) << "with the separator";

    // The whole menu request waits on the accessibility thread a few times,
    // not once per attribute of each item.
    const auto queuedBefore = platform::AtspiThread::callsQueued();
    DesktopController controller(*desktop);
    EXPECT_EQ(controller.menuSnapshot(std::nullopt).items.size(), 2u);
    EXPECT_LE(platform::AtspiThread::callsQueued() - queuedBefore, 3u);
}

TEST_F(X11AccessibilityTest, ADialogsCancelButtonIsFoundInTheMessagesLanguage) {
    // Only the dialog's own cancel mark tells "Annuler" from "OK": neither
    // title dismisses by itself.
    const std::optional<std::string> languages[] = {std::nullopt, "de", "fr"};
    for (const auto& language : languages) {
        SCOPED_TRACE(language.value_or("English"));
        // The application and this process read the same language.
        const ScopedEnvironment environment(
            {{"LC_ALL", std::nullopt}, {"LC_MESSAGES", std::nullopt}, {"LANG", "C.UTF-8"}, {"LANGUAGE", language}});
        TestApplication application({.windows = {{"Menus", 400, 300, {{150, 150}}, {}, {}, true}}});
        ASSERT_TRUE(waitForFrontWindow(application, "Menus"));
        ASSERT_EQ(accessibility().performAction(menuElements(menuBarOf(application)).at("File/Confirm…"), "AXPress"),
                  axerror::success);
        // The window manager may call the dialog modal before the bus shows
        // it, and its cancel button with it.
        DesktopController controller(*desktop);
        EXPECT_TRUE(eventually([&] {
            try {
                return controller.modalInfo(std::nullopt) &&
                       !controller.dismissModal(std::nullopt, std::nullopt, std::nullopt);
            } catch (const MacMenuError&) {
                return false;
            }
        }));
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
