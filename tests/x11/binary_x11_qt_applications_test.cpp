// Programs of others beside GTK's, through the binary (--desktop x11): a Qt
// editor (Debian's featherpad, accessible on request) whose menus hold
// their items in a popup menu, give Qt's shortcuts and open modal dialogs
// that only the window manager's hints mark modal; and an X11 program
// without accessibility (xterm).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/device_request.hpp"
#include "support/menu_tree_search.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/foreign_program.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

// Every node of the tree whose title is empty, by its parent's path.
void collectUntitled(const std::vector<MenuNode>& nodes, std::vector<std::string>& untitled) {
    for (const auto& node : nodes) {
        if (node.title.empty()) untitled.push_back(node.id);
        collectUntitled(node.children, untitled);
    }
}

class BinaryX11QtApplications : public BinaryX11Test {
protected:
    // featherpad on the test's temporary home, outside any instance of it
    // another test may run, with Qt's accessibility on; its window, active,
    // once its menus are on the accessibility bus (Qt joins it after it
    // shows the window).
    static std::optional<std::uint32_t> showEditor(const ForeignProgram& editor) {
        const auto window = editor.waitForWindow();
        if (!window) return std::nullopt;
        const auto menus =
            witnessOutput("/usr/bin/python3 -B " ZENTRABO_SOURCE_DIR "/tests/support/accessibility_witness.py menus " +
                          std::to_string(editor.pid()));
        if (menus.find("menu bar") == std::string::npos) return std::nullopt;
        activateWindow(*window);
        return window;
    }
    static ForeignProgram startEditor() {
        return ForeignProgram({"/usr/bin/featherpad", "--standalone"}, {"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"});
    }

    HalvardineResponse request(const std::string& action, std::optional<std::vector<std::string>> path = {},
                               std::optional<std::string> bundleIdentifier = {}) {
        auto made = deviceRequest("Q-" + std::to_string(++number_), action);
        made.path = std::move(path);
        made.bundleIdentifier = std::move(bundleIdentifier);
        return send(phone, made);
    }

    // What the accessibility bus says of the editor's item, read by the
    // witness, not by the server.
    static std::string witnessedCheck(const ForeignProgram& editor, const std::string& item) {
        return witnessOutput("/usr/bin/python3 -B " ZENTRABO_SOURCE_DIR
                             "/tests/support/accessibility_witness.py checked " +
                             std::to_string(editor.pid()) + " '" + item + "'");
    }

    static bool windowNamed(const std::string& title) {
        return !witnessOutput("xdotool search --name '^" + title + "$'").empty();
    }

private:
    int number_ = 0;
};

TEST_F(BinaryX11QtApplications, AQtEditorsMenusHaveNoUntitledLevelGiveItsShortcutsAndPressAsListed) {
    auto editor = startEditor();
    ASSERT_TRUE(showEditor(editor));

    const auto menu = request("menu");
    ASSERT_TRUE(menu.ok) << menu.error.value_or("");
    ASSERT_TRUE(menu.snapshot);
    std::vector<std::string> untitled;
    collectUntitled(menu.snapshot->items, untitled);
    EXPECT_THAT(untitled, ::testing::IsEmpty());

    struct Row {
        std::vector<std::string> path;
        std::optional<std::string> shortcut;
    };
    for (const auto& row : {
             Row{{"File", "New"}, "cmd+N"},
             Row{{"File", "Save As"}, "cmd+shift+S"},
             Row{{"File", "Side-Pane"}, "cmd+option+P"},
             Row{{"Options", "Wrap Lines"}, "cmd+W"},
             // Qt gives these items' mnemonics and no shortcut.
             Row{{"Edit", "Delete"}, std::nullopt},
             Row{{"Options", "Encoding", "Unicode"}, std::nullopt},
             // Keys that are no one character.
             Row{{"File", "Next Tab"}, std::nullopt},
             Row{{"File", "Last Active Tab"}, std::nullopt},
         }) {
        SCOPED_TRACE(row.path.back());
        const auto* node = nodeAt(*menu.snapshot, row.path);
        ASSERT_TRUE(node);
        EXPECT_EQ(node->shortcut, row.shortcut);
    }

    const auto before = witnessedCheck(editor, "Wrap Lines");
    ASSERT_THAT(before, ::testing::AnyOf("checked\n", "unchecked\n"));
    const auto pressed = request("run", std::vector<std::string>{"Options", "Wrap Lines"});
    EXPECT_TRUE(pressed.ok) << pressed.error.value_or("");
    EXPECT_TRUE(eventually([&] { return witnessedCheck(editor, "Wrap Lines") != before; }));
}

TEST_F(BinaryX11QtApplications, AQtModalDialogIsSeenAndDismissedAndThePressThatOpensItIsAnsweredInItsBound) {
    auto editor = startEditor();
    ASSERT_TRUE(showEditor(editor));

    // Qt runs the dialog inside the press, which does not return while it
    // is open: the caller gets its answer when the press's bound has passed.
    const auto started = std::chrono::steady_clock::now();
    const auto about = request("run", std::vector<std::string>{"Help", "About"});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(about.ok);
    EXPECT_EQ(about.errorCode, HalvardineErrorCode::actionFailed);
    ASSERT_TRUE(eventually([] { return windowNamed("About FeatherPad"); }));

    const auto modal = request("modalInfo");
    ASSERT_TRUE(modal.ok) << modal.error.value_or("");
    ASSERT_TRUE(modal.modalInfo);
    EXPECT_EQ(modal.modalInfo->title, "About FeatherPad");
    EXPECT_THAT(modal.modalInfo->buttonTitles, Contains("Close"));

    // A menu press is refused while the dialog blocks the editor.
    const auto blocked = request("run", std::vector<std::string>{"Options", "Wrap Lines"});
    EXPECT_EQ(blocked.errorCode, HalvardineErrorCode::inputBlocked);

    const auto dismissed = request("dismissModal");
    EXPECT_TRUE(dismissed.ok) << dismissed.error.value_or("");
    EXPECT_FALSE(dismissed.modalInfo);
    EXPECT_TRUE(eventually([] { return !windowNamed("About FeatherPad"); }));

    // And the editor answers the next request.
    const auto before = witnessedCheck(editor, "Wrap Lines");
    const auto pressed = request("run", std::vector<std::string>{"Options", "Wrap Lines"});
    EXPECT_TRUE(pressed.ok) << pressed.error.value_or("");
    EXPECT_TRUE(eventually([&] { return witnessedCheck(editor, "Wrap Lines") != before; }));
}

TEST_F(BinaryX11QtApplications, AnEditorWithUnsavedTextIsNotForcedByARestartAndTheAnswerNamesItsQuestion) {
    auto editor = startEditor();
    const auto window = showEditor(editor);
    ASSERT_TRUE(window);
    witnessOutput("xdotool windowactivate --sync " + std::to_string(*window) + " type unsaved");
    const auto titled = [&] { return witnessedProperty("_NET_WM_NAME", *window); };
    ASSERT_TRUE(eventually([&] { return titled().find('*') != std::string::npos; })) << titled();

    const auto restarted = request("restartApplication", std::nullopt, "featherpad.desktop");
    EXPECT_FALSE(restarted.ok);
    EXPECT_EQ(restarted.errorCode, HalvardineErrorCode::inputBlocked);
    ASSERT_TRUE(restarted.modalInfo);
    EXPECT_THAT(restarted.error.value_or(""), HasSubstr(restarted.modalInfo->displayTitle()));
    // Still running, its question open, well past the polite quit's wait.
    EXPECT_FALSE(editor.hasEnded(std::chrono::seconds(2)));
    EXPECT_THAT(editor.windows(), ::testing::SizeIs(2));
}

TEST_F(BinaryX11QtApplications, AProgramWithoutAccessibilityHasNoMenuButKeepsItsWindows) {
    ForeignProgram terminal({"/usr/bin/xterm", "-title", "Plain Terminal"});
    const auto window = terminal.waitForWindow();
    ASSERT_TRUE(window);
    activateWindow(*window);

    for (const auto& [action, path] : {std::pair<std::string, std::optional<std::vector<std::string>>>{"menu", {}},
                                       {"run", std::vector<std::string>{"File", "Quit"}}}) {
        SCOPED_TRACE(action);
        const auto answer = request(action, path);
        EXPECT_FALSE(answer.ok);
        EXPECT_EQ(answer.errorCode, HalvardineErrorCode::menuUnavailable) << answer.error.value_or("");
    }
    const auto modal = request("modalInfo");
    EXPECT_TRUE(modal.ok) << modal.error.value_or("");
    EXPECT_FALSE(modal.modalInfo);

    const auto windows = request("applicationWindows");
    ASSERT_TRUE(windows.ok && windows.applicationWindows) << windows.error.value_or("");
    ASSERT_EQ(windows.applicationWindows->size(), 1u);
    EXPECT_EQ(windows.applicationWindows->front().windowID, *window);
    EXPECT_FALSE(terminal.hasEnded(std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace zentrabo::testing
