// Pressing a menu item by its path of titles.
#include <gmock/gmock.h>

#include "controller_fixture.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Case = MacMenuError::Case;
using Modes = std::vector<MenuTitleMatchMode>;
using Values = std::vector<std::optional<std::string>>;

constexpr auto exact = MenuTitleMatchMode::exact;
constexpr auto beginsWith = MenuTitleMatchMode::beginsWith;

ScenarioSheet closeSheet() {
    ScenarioSheet sheet;
    sheet.title = "Save changes?";
    sheet.buttons.resize(2);
    sheet.buttons[0].title = "Cancel";
    sheet.buttons[1].title = "Don't Save";
    return sheet;
}

class MenuPressTest : public ControllerTest {
protected:
    void SetUp() override {
        DesktopBuilder builder;
        builder.application("Editor", "com.example.editor")
            .menu("File", {menuItem("Save As…", "cmd+shift+S"), menuItem("Save", "cmd+S"), menuItem(" Export\n"),
                           menuItem("Revert").disabled(),
                           menuItem("Open in Viewer").then(activatesApplication("com.example.viewer")),
                           menuItem("Close").then(opensSheet(closeSheet()))})
            .menu("Format", {submenu("Font", {menuItem("Bold", "cmd+B"), menuItem("Italic", "cmd+I")})})
            .menu("Share", {menuItem("Export…"), menuItem("Émail")})
            .menu("A", {submenu("B", {menuItem("A")})})
            .window("Draft", {100, 100, 640, 480});
        builder.application("Viewer", "com.example.viewer").menu("View", {menuItem("Zoom")});
        builder.frontmost("com.example.viewer");
        start(builder);
    }

    void press(std::vector<std::string> path, std::optional<Modes> modes = std::nullopt,
               std::optional<Values> values = std::nullopt) {
        controller->pressMenuItem("com.example.editor", path, modes, values);
    }

    // The menu elements pressed so far, as the desktop names them.
    std::vector<std::string> pressed() {
        std::vector<std::string> details;
        for (const auto& entry : desktop->journal()) {
            if (entry.action == "press") details.push_back(entry.subject + ": " + entry.detail);
        }
        return details;
    }
};

TEST_F(MenuPressTest, ExactTitlesPressItemsInMenusAndSubmenus) {
    press({"File", "Save"});
    press({"Format", "Font", "Bold"});
    // Both sides are trimmed before they are compared.
    press({"File", "Export"});
    press({" Format", "Font ", "Italic\n"});
    EXPECT_THAT(pressed(), ElementsAre("com.example.editor: AXMenuBar > File > AXMenu > Save",
                                       "com.example.editor: AXMenuBar > Format > AXMenu > Font > AXMenu > Bold",
                                       "com.example.editor: AXMenuBar > File > AXMenu >  Export\n",
                                       "com.example.editor: AXMenuBar > Format > AXMenu > Font > AXMenu > Italic"));
    EXPECT_TRUE(running("com.example.editor")->isActive()) << "the target was brought to the front";
}

TEST_F(MenuPressTest, PrefixesMatchOnlyWhenNoTitleMatchesExactly) {
    // Save is found although Save As… comes first and begins with the value.
    press({"File", "Save"}, Modes{exact, beginsWith}, Values{std::nullopt, "save"});
    // No item is titled Save here: the prefix of the value decides.
    press({"Share", "Save"}, Modes{exact, beginsWith}, Values{std::nullopt, "EXP"});
    press({"Share", "Email"}, Modes{exact, beginsWith}, Values{std::nullopt, ""});
    // More modes and values than titles are ignored.
    press({"File", "Save A"}, Modes{exact, beginsWith, exact}, Values{std::nullopt, std::nullopt, "x"});
    press({"Format", "Fo", "It"}, Modes{exact, beginsWith, beginsWith});
    EXPECT_THAT(pressed(), ElementsAre("com.example.editor: AXMenuBar > File > AXMenu > Save",
                                       "com.example.editor: AXMenuBar > Share > AXMenu > Export…",
                                       "com.example.editor: AXMenuBar > Share > AXMenu > Émail",
                                       "com.example.editor: AXMenuBar > File > AXMenu > Save As…",
                                       "com.example.editor: AXMenuBar > Format > AXMenu > Font > AXMenu > Italic"));

    // A value of spaces leaves only the exact match; missing modes are exact.
    EXPECT_EQ(failure([&] {
                  press({"Share", "Exp"}, Modes{exact, beginsWith}, Values{std::nullopt, "  "});
              }),
              Case::menuItemNotFound);
    EXPECT_EQ(failure([&] { press({"Share", "Exp"}, Modes{beginsWith}); }), Case::menuItemNotFound);
}

TEST_F(MenuPressTest, ARepeatedTitleInThePathIsStillOpenedOnTheWayDown) {
    press({"A", "B", "A"});
    EXPECT_THAT(pressed(), ElementsAre("com.example.editor: AXMenuBar > A > AXMenu > B > AXMenu > A"));
}

TEST_F(MenuPressTest, MissingAndDisabledItemsAreRefusedWithoutAPress) {
    try {
        press({"File", "Print"});
        FAIL() << "a missing item was pressed";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorDescription(), "Menu item not found: Print");
    }
    EXPECT_EQ(failure([&] { press({"Edit", "Save"}); }), Case::menuItemNotFound);
    try {
        press({"File", "Rev"}, Modes{exact, beginsWith});
        FAIL() << "a disabled item was pressed";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::menuItemDisabled);
        EXPECT_EQ(error.errorDescription(), "Menu item is disabled: Rev") << "named by the path's title";
    }
    EXPECT_EQ(failure([&] { press({}); }), Case::actionFailed) << "the menu bar itself cannot be pressed";
    EXPECT_THAT(pressed(), IsEmpty());
}

TEST_F(MenuPressTest, ACommandThatOpensAnotherApplicationGivesTheFrontBack) {
    press({"File", "Open in Viewer"});
    EXPECT_TRUE(running("com.example.editor")->isActive());
    EXPECT_FALSE(running("com.example.viewer")->isActive());
}

TEST_F(MenuPressTest, AnOpenSheetBlocksEveryFurtherCommand) {
    press({"File", "Close"});
    desktop->clearJournal();
    try {
        press({"File", "Save"});
        FAIL() << "a command went past a sheet";
    } catch (const MacMenuError& error) {
        EXPECT_EQ(error.errorCase(), Case::inputBlocked);
        EXPECT_EQ(error.errorDescription(), "Input is blocked by a modal window: Save changes?");
    }
    EXPECT_THAT(pressed(), IsEmpty());
}

TEST_F(MenuPressTest, NothingHappensWithoutAccessibilityTrust) {
    desktop->setAccessibilityTrusted(false);
    desktop->clearJournal();
    EXPECT_EQ(failure([&] { press({"File", "Save"}); }), Case::accessibilityMissing);
    EXPECT_THAT(desktop->journal(), IsEmpty()) << "not even activated";
}

}  // namespace
}  // namespace zentrabo
