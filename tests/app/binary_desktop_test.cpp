// A paired phone reading and driving the binary's built-in desktop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/binary_harness.hpp"
#include "support/menu_tree_search.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;

constexpr const char* editorID = "com.zentrabo.demo.texteditor";
constexpr const char* terminalID = "com.zentrabo.demo.terminal";
constexpr const char* calculatorID = "com.zentrabo.demo.calculator";
constexpr const char* browserID = "com.zentrabo.demo.browser";

const RemoteApplicationInfo* application(const HalvardineResponse& response, const std::string& bundleIdentifier) {
    if (!response.applications) return nullptr;
    for (const auto& info : *response.applications) {
        if (info.bundleIdentifier == bundleIdentifier) return &info;
    }
    return nullptr;
}

std::vector<std::string> frontmost(const HalvardineResponse& response) {
    std::vector<std::string> identifiers;
    for (const auto& info : response.applications.value_or(std::vector<RemoteApplicationInfo>{})) {
        if (info.isFrontmost) identifiers.push_back(info.bundleIdentifier);
    }
    return identifiers;
}

class BinaryDesktopTest : public BinaryServerTest {
protected:
    void SetUp() override {
        BinaryServerTest::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
    }

    HalvardineResponse applications(std::string id) {
        return send(phone, deviceRequest(std::move(id), "applications"));
    }

    HalvardineResponse run(std::string id, std::string bundleIdentifier, std::vector<std::string> path) {
        auto press = deviceRequest(std::move(id), "run");
        press.bundleIdentifier = std::move(bundleIdentifier);
        press.path = std::move(path);
        return send(phone, press);
    }

    TestDevice phone;
};

TEST_F(BinaryDesktopTest, ListsTheBuiltInApplicationsAndTheFrontmostMenuTree) {
    const auto listed = applications("D-1");
    ASSERT_TRUE(listed.ok) << listed.error.value_or("");
    std::vector<std::string> names;
    for (const auto& info : *listed.applications) names.push_back(info.localizedName);
    // By name; the menu-bar helper has no regular interface and no bundle.
    EXPECT_THAT(names, ElementsAre("Browser", "Calculator", "Terminal", "Text Editor"));
    ASSERT_TRUE(application(listed, calculatorID));
    EXPECT_FALSE(application(listed, calculatorID)->isRunning);
    EXPECT_TRUE(application(listed, terminalID)->isRunning);
    EXPECT_THAT(frontmost(listed), ElementsAre(editorID));

    const auto menu = send(phone, deviceRequest("D-2", "menu"));
    ASSERT_TRUE(menu.ok) << menu.error.value_or("");
    ASSERT_TRUE(menu.snapshot);
    const MenuSnapshot& snapshot = *menu.snapshot;
    EXPECT_EQ(snapshot.application.bundleIdentifier, editorID);
    EXPECT_EQ(snapshot.application.localizedName, "Text Editor");
    EXPECT_THAT(titles(snapshot.items), ElementsAre("Text Editor", "File", "Edit", "Format", "Window", "Help"));
    // Separators are dropped; submenus keep their items at every depth.
    ASSERT_TRUE(nodeAt(snapshot, {"File"}));
    EXPECT_THAT(titles(nodeAt(snapshot, {"File"})->children),
                ElementsAre("New", "Open…", "Open Recent", "Close", "Save…", "Duplicate", "Print…"));
    // A submenu of an item keeps its untitled menu, whose items carry the
    // path without it.
    const MenuNode* recent = nodeAt(snapshot, {"File", "Open Recent"});
    ASSERT_TRUE(recent);
    ASSERT_EQ(recent->children.size(), 1u);
    EXPECT_EQ(recent->children[0].title, "");
    EXPECT_THAT(titles(recent->children[0].children), ElementsAre("report.txt", "notes.md", "Clear Menu"));
    EXPECT_TRUE(nodeAt(snapshot, {"File", "Open Recent", "Clear Menu"}));
    const MenuNode* bigger = nodeAt(snapshot, {"Format", "Font", "Bigger"});
    ASSERT_TRUE(bigger);
    EXPECT_THAT(bigger->path, ElementsAre("Format", "Font", "Bigger"));
    EXPECT_EQ(bigger->shortcut, "cmd++");
    EXPECT_EQ(nodeAt(snapshot, {"File", "Duplicate"})->shortcut, "cmd+shift+S");
    EXPECT_FALSE(nodeAt(snapshot, {"File", "Print…"})->enabled);
    EXPECT_TRUE(nodeAt(snapshot, {"File", "New"})->enabled);
}

TEST_F(BinaryDesktopTest, PressesMenuItemsAndRefusesWhatCannotBeDone) {
    // The path of an item three levels down, as the snapshot gives it.
    const auto nested = run("R-0", editorID, {"Format", "Font", "Bigger"});
    EXPECT_TRUE(nested.ok) << nested.error.value_or("");

    const auto disabled = run("R-1", editorID, {"File", "Print…"});
    EXPECT_FALSE(disabled.ok);
    EXPECT_EQ(disabled.errorCode, HalvardineErrorCode::menuItemDisabled);
    EXPECT_EQ(disabled.error, "Menu item is disabled: Print…");

    // Quitting an application that does not run quits nothing else.
    auto quit = deviceRequest("R-2", "quit");
    quit.bundleIdentifier = calculatorID;
    const auto refused = send(phone, quit);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::applicationNotRunning);
    const auto unchanged = applications("R-3");
    EXPECT_THAT(frontmost(unchanged), ElementsAre(editorID));
    for (const char* identifier : {editorID, terminalID, browserID}) {
        ASSERT_TRUE(application(unchanged, identifier)) << identifier;
        EXPECT_TRUE(application(unchanged, identifier)->isRunning) << identifier;
    }

    // A pressed item acts: the terminal quits, and the list says so once it
    // has gone.
    const auto pressed = run("R-4", terminalID, {"Terminal", "Quit Terminal"});
    ASSERT_TRUE(pressed.ok) << pressed.error.value_or("");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    bool gone = false;
    for (int attempt = 0; !gone && std::chrono::steady_clock::now() < end; ++attempt) {
        const auto listed = applications("R-5-" + std::to_string(attempt));
        const auto* terminal = application(listed, terminalID);
        ASSERT_TRUE(terminal) << "an installed application stays listed";
        gone = !terminal->isRunning;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(gone) << "the terminal still runs";
}

TEST_F(BinaryDesktopTest, LaunchesAnInstalledApplicationAndReportsTheSheetThatBlocksAPress) {
    // The calculator is installed but not running: activating it launches it
    // from its bundle and brings it to the front.
    auto activate = deviceRequest("M-1", "activate");
    activate.bundleIdentifier = calculatorID;
    const auto activated = send(phone, activate);
    ASSERT_TRUE(activated.ok) << activated.error.value_or("");
    const auto launched = applications("M-2");
    ASSERT_TRUE(application(launched, calculatorID));
    EXPECT_TRUE(application(launched, calculatorID)->isRunning);
    EXPECT_THAT(frontmost(launched), ElementsAre(calculatorID));
    const auto menu = send(phone, deviceRequest("M-3", "menu"));
    ASSERT_TRUE(menu.snapshot);
    EXPECT_EQ(menu.snapshot->application.bundleIdentifier, calculatorID);

    // Closing the editor's document asks first; until the sheet is answered
    // the editor takes no press, and the device is told what blocks it.
    ASSERT_TRUE(run("M-4", editorID, {"File", "Close"}).ok);
    const auto blocked = run("M-5", editorID, {"File", "New"});
    EXPECT_FALSE(blocked.ok);
    EXPECT_EQ(blocked.errorCode, HalvardineErrorCode::inputBlocked);
    ASSERT_TRUE(blocked.modalInfo);
    EXPECT_EQ(blocked.modalInfo->title, "Do you want to keep the changes made to “Untitled”?");
    EXPECT_THAT(blocked.modalInfo->buttonTitles, ElementsAre("Delete", "Cancel", "Keep"));

    auto dismiss = deviceRequest("M-6", "dismissModal");
    dismiss.bundleIdentifier = editorID;
    dismiss.modalButtonTitle = "Cancel";
    const auto dismissed = send(phone, dismiss);
    EXPECT_TRUE(dismissed.ok) << dismissed.error.value_or("");
    const auto pressed = run("M-7", editorID, {"File", "New"});
    EXPECT_TRUE(pressed.ok) << pressed.error.value_or("");
}

}  // namespace
}  // namespace zentrabo::testing
