// A paired phone reading and pressing the menus of an application of the
// tests' X session through the binary (--desktop x11).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/device_request.hpp"
#include "support/menu_tree_search.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::ElementsAre;

class BinaryX11Menus : public BinaryX11Test {
protected:
    HalvardineResponse run(std::string id, std::vector<std::string> path) {
        auto press = deviceRequest(std::move(id), "run");
        press.path = std::move(path);
        return send(phone, press);
    }
};

TEST_F(BinaryX11Menus, SnapshotsAndPressesTheMenusOfTheFrontApplicationAndDescribesItsDialog) {
    TestApplication application({.windows = {{"Menus", 400, 300, {{300, 300}}, {}, {}, true}}});
    ASSERT_TRUE(waitForFrontWindow(application, "Menus"));

    const auto menu = send(phone, deviceRequest("X-1", "menu"));
    ASSERT_TRUE(menu.ok) << menu.error.value_or("");
    ASSERT_TRUE(menu.snapshot);
    EXPECT_THAT(titles(menu.snapshot->items), ElementsAre("File", "Edit"));
    ASSERT_TRUE(nodeAt(*menu.snapshot, {"File"}));
    EXPECT_THAT(titles(nodeAt(*menu.snapshot, {"File"})->children),
                ElementsAre("New Window", "Print", "Recent", "Confirm…", "Quit"));
    struct Row {
        std::vector<std::string> path;
        bool enabled;
        std::optional<std::string> shortcut;
    };
    for (const auto& row :
         {Row{{"File", "New Window"}, true, "cmd+N"}, Row{{"File", "Print"}, false, std::nullopt},
          Row{{"File", "Recent", "Second Document"}, true, std::nullopt}, Row{{"Edit", "Paste"}, true, "cmd+V"}}) {
        SCOPED_TRACE(row.path.back());
        const auto* node = nodeAt(*menu.snapshot, row.path);
        ASSERT_TRUE(node);
        EXPECT_EQ(node->enabled, row.enabled);
        EXPECT_EQ(node->shortcut, row.shortcut);
    }

    const auto pressed = run("X-2", {"File", "New Window"});
    EXPECT_TRUE(pressed.ok) << pressed.error.value_or("");
    const auto second = waitForMapped(application, "Menus 2");
    ASSERT_TRUE(second);
    EXPECT_THAT(witnessedNumbers("_NET_CLIENT_LIST"), ::testing::Contains(second->xid));

    const auto disabled = run("X-3", {"File", "Print"});
    EXPECT_FALSE(disabled.ok);
    EXPECT_EQ(disabled.errorCode, HalvardineErrorCode::menuItemDisabled);

    ASSERT_TRUE(run("X-4", {"File", "Confirm…"}).ok);
    const auto modal = send(phone, deviceRequest("X-5", "modalInfo"));
    ASSERT_TRUE(modal.ok) << modal.error.value_or("");
    ASSERT_TRUE(modal.modalInfo);
    EXPECT_EQ(modal.modalInfo->title, "Confirm");
    EXPECT_THAT(modal.modalInfo->buttonTitles, ElementsAre("Cancel", "OK"));
    const auto dialogShown = [] { return !witnessOutput("xdotool search --name '^Confirm$'").empty(); };
    EXPECT_TRUE(dialogShown());
    const auto dismissed = send(phone, deviceRequest("X-6", "dismissModal"));
    EXPECT_TRUE(dismissed.ok) << dismissed.error.value_or("");
    EXPECT_FALSE(dismissed.modalInfo);
    const auto response = application.reports().waitFor("dialog");
    ASSERT_TRUE(response);
    EXPECT_EQ(response->text("response"), "cancel");
    EXPECT_TRUE(eventually([&] { return !dialogShown(); }));
}

}  // namespace
}  // namespace zentrabo::testing
