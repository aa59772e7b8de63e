// A phone reading and pressing the menus of a GTK program that these tests
// did not write (Debian's gtk3-widget-factory), through the binary
// (--desktop x11): its menu bar is GTK's own, as another program builds it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/device_request.hpp"
#include "support/menu_tree_search.hpp"
#include "x11/binary_x11_fixture.hpp"
#include "x11/foreign_program.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::IsSupersetOf;

class BinaryX11ForeignMenus : public BinaryX11Test {};

TEST_F(BinaryX11ForeignMenus, TheMenusOfGtksWidgetFactorySnapshotAndItsQuitItemEndsIt) {
    ForeignProgram factory({"/usr/bin/gtk3-widget-factory"});
    const auto window = factory.waitForWindow();
    ASSERT_TRUE(window);
    activateWindow(*window);
    // Its menu bar is on its second page, which shows only when chosen.
    ASSERT_TRUE(witnessOutput("/usr/bin/python3 -B " ZENTRABO_SOURCE_DIR
                              "/tests/support/accessibility_witness.py press " +
                              std::to_string(factory.pid()) + " 'Page 2'; echo $?") == "0\n");

    const auto menu = send(phone, deviceRequest("F-1", "menu"));
    ASSERT_TRUE(menu.ok) << menu.error.value_or("");
    ASSERT_TRUE(menu.snapshot);
    EXPECT_THAT(titles(menu.snapshot->items), IsSupersetOf({"File", "Edit"}));
    const auto* file = nodeAt(*menu.snapshot, {"File"});
    ASSERT_TRUE(file);
    EXPECT_THAT(titles(file->children), IsSupersetOf({"New", "Open", "Save", "Save As", "Quit"}));

    auto quit = deviceRequest("F-2", "run");
    quit.path = std::vector<std::string>{"File", "Quit"};
    const auto pressed = send(phone, quit);
    EXPECT_TRUE(pressed.ok) << pressed.error.value_or("");
    EXPECT_TRUE(factory.hasEnded(std::chrono::seconds(10)));
}

}  // namespace
}  // namespace zentrabo::testing
