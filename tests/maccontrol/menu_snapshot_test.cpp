// Reading an application's menu bar into a snapshot, and choosing the
// application it belongs to.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"
#include "model/json/model_record_json.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using Case = MacMenuError::Case;

const MenuNode& child(const MenuNode& node, const std::string& title) {
    for (const auto& candidate : node.children) {
        if (candidate.title == title) return candidate;
    }
    throw std::runtime_error("no child " + title);
}

class MenuSnapshotTest : public ControllerTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        builder.application("Editor", "com.example.editor")
            .menu("File", {menuItem("New", "cmd+N"), separator(), menuItem("  Save  ", "cmd+shift+s"),
                           menuItem("Revert").disabled(), menuItem("Lock", "control+option+cmd+L"),
                           menuItem("Show Tab Bar", "S"), menuItem("   "),
                           submenu("Open Recent", {menuItem("a.txt"), menuItem("b.txt")}),
                           submenu("", {menuItem("Hidden Gem", "control+G")})})
            .menu("Edit", {menuItem("Undo", "cmd+Z")});
        builder.application("Viewer", "com.example.viewer").menu("View", {menuItem("Zoom")});
        builder.frontmost("com.example.viewer");
        start(builder);
    }
};

TEST_F(MenuSnapshotTest, ItemsCarryTrimmedTitlesPathsIdentifiersAndShortcuts) {
    const auto snapshot = controller->menuSnapshot("com.example.editor");
    EXPECT_EQ(snapshot.application.localizedName, "Editor");
    EXPECT_EQ(snapshot.application.bundleIdentifier, "com.example.editor");
    EXPECT_EQ(snapshot.application.pid, running("com.example.editor")->processIdentifier());
    EXPECT_FALSE(snapshot.application.isFrontmost);

    ASSERT_EQ(snapshot.items.size(), 2u);
    const MenuNode& file = snapshot.items[0];
    EXPECT_EQ(file.id, "File");
    EXPECT_EQ(file.role, "AXMenuBarItem");
    EXPECT_THAT(file.path, ElementsAre("File"));
    EXPECT_FALSE(file.shortcut);

    // The separator and the item titled only with spaces carry nothing.
    std::vector<std::string> titles;
    for (const auto& item : file.children) titles.push_back(item.title);
    EXPECT_THAT(titles, ElementsAre("New", "Save", "Revert", "Lock", "Show Tab Bar", "Open Recent", ""));

    EXPECT_EQ(child(file, "New").shortcut, "cmd+N");
    const MenuNode& save = child(file, "Save");
    EXPECT_EQ(save.id, "File\x1FSave");
    EXPECT_THAT(save.path, ElementsAre("File", "Save"));
    EXPECT_EQ(save.shortcut, "cmd+shift+S");
    EXPECT_TRUE(save.enabled);
    EXPECT_FALSE(child(file, "Revert").enabled);
    EXPECT_FALSE(child(file, "Revert").shortcut);
    EXPECT_EQ(child(file, "Lock").shortcut, "cmd+option+control+L") << "words in their fixed order";
    EXPECT_EQ(child(file, "Show Tab Bar").shortcut, "S") << "no command key";
}

TEST_F(MenuSnapshotTest, SubmenusOfMenuItemsKeepTheirUntitledMenuUnderTheParentPath) {
    const auto snapshot = controller->menuSnapshot("com.example.editor");
    const MenuNode& recent = child(snapshot.items[0], "Open Recent");
    ASSERT_EQ(recent.children.size(), 1u);
    const MenuNode& menu = recent.children[0];
    EXPECT_EQ(menu.title, "");
    EXPECT_EQ(menu.role, "AXMenu");
    EXPECT_EQ(menu.id, recent.id);
    const MenuNode& document = child(menu, "a.txt");
    EXPECT_EQ(document.id,
              "File\x1FOpen Recent\x1F"
              "a.txt");

    // An untitled item with a submenu stays for its items, which keep the
    // menu's path.
    const MenuNode& untitled = snapshot.items[0].children.back();
    EXPECT_EQ(untitled.id, "File");
    const MenuNode& gem = child(untitled.children.at(0), "Hidden Gem");
    EXPECT_THAT(gem.path, ElementsAre("File", "Hidden Gem"));
    EXPECT_EQ(gem.shortcut, "control+G") << "modifier value 12: control and no command key";
}

TEST_F(MenuSnapshotTest, WithoutAnApplicationNamedOrRunningTheFrontmostOneIsRead) {
    EXPECT_EQ(controller->menuSnapshot(std::nullopt).application.bundleIdentifier, "com.example.viewer");
    EXPECT_EQ(controller->menuSnapshot("com.example.absent").application.bundleIdentifier, "com.example.viewer");
    EXPECT_EQ(controller->menuSnapshot("").application.bundleIdentifier, "com.example.viewer");
    EXPECT_EQ(controller->menuSnapshot("COM.EXAMPLE.EDITOR").application.bundleIdentifier, "com.example.viewer");
    const auto viewer = controller->menuSnapshot(std::nullopt);
    EXPECT_TRUE(viewer.application.isFrontmost);
    EXPECT_EQ(viewer.items.at(0).children.at(0).id, "View\x1FZoom");
}

TEST_F(MenuSnapshotTest, NothingIsReadWithoutAccessibilityTrust) {
    desktop->setAccessibilityTrusted(false);
    desktop->clearJournal();
    EXPECT_EQ(failure([&] { controller->menuSnapshot("com.example.editor"); }), Case::accessibilityMissing);
    EXPECT_TRUE(desktop->journal().empty()) << "no prompt was shown";
}

TEST_F(MenuSnapshotTest, AnApplicationThatHasQuitIsNotRunning) {
    auto editor = controller->targetApplication("com.example.editor");
    ASSERT_TRUE(editor->terminate());
    clock.advance(1.0);
    ASSERT_TRUE(editor->isTerminated());
    const auto read = desktop->menuTree(editor->processIdentifier(), DesktopController::menuReadLimits());
    EXPECT_EQ(failure([&] { throw DesktopController::menuUnreadable(*editor, read.error); }),
              Case::applicationNotRunning);
}

using MenuSnapshotOfOneApplicationTest = ControllerTest;

TEST_F(MenuSnapshotOfOneApplicationTest, AnApplicationThatDoesNotAnswerFailsAfterTheMessagingTimeout) {
    DesktopBuilder builder;
    builder.application("Busy", "com.example.busy").menu("File", {menuItem("New")}).unresponsive();
    start(builder);
    try {
        controller->menuSnapshot(std::nullopt);
        FAIL() << "an unresponsive application gave a snapshot";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::applicationUnresponsive);
        EXPECT_EQ(error.errorDescription(), "Busy is not responding.");
        EXPECT_EQ(error.unresponsiveApplication()->bundleIdentifier, "com.example.busy");
    }
    EXPECT_DOUBLE_EQ(clock.monotonicNow(), DesktopController::accessibilityMessagingTimeout)
        << "the read waited for our timeout, not the system's";
}

TEST_F(MenuSnapshotOfOneApplicationTest, WithNoApplicationInFrontThereIsNoTarget) {
    DesktopBuilder builder;
    builder.application("Closed", "com.example.closed").notRunning();
    start(builder);
    EXPECT_EQ(failure([&] { controller->menuSnapshot("com.example.closed"); }), Case::noFrontmostApplication);
}

TEST_F(MenuSnapshotOfOneApplicationTest, TheTreeStopsAtTheDepthARecordMayHave) {
    ScenarioMenuItem item = menuItem("Leaf");
    for (int level = 0; level < 40; ++level) item = submenu("Level " + std::to_string(level), {item});
    DesktopBuilder builder;
    builder.application("Deep", "com.example.deep").menu("Top", {item});
    start(builder);
    const auto snapshot = controller->menuSnapshot(std::nullopt);

    std::size_t depth = 1;
    for (const MenuNode* node = &snapshot.items.at(0); !node->children.empty(); node = &node->children[0]) ++depth;
    EXPECT_EQ(depth, MenuNode::maximumTreeDepth);
    EXPECT_NO_THROW(encodeRecord(snapshot)) << "the reply can carry it";
}

}  // namespace
}  // namespace zentrabo
