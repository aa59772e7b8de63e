// The tests' X11 session and test application as the independent X tools
// see them: what every X11 test stands on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/test_application.hpp"
#include "support/x11_session.hpp"
#include "support/x11_witness.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Optional;

class TestSession : public X11SessionTest {};

TEST_F(TestSession, HasTwoMonitorsSideBySideTheLeftOnePrimary) {
    const auto monitors = witnessedMonitors();
    ASSERT_EQ(monitors.size(), 2u) << witnessOutput("xrandr --listmonitors");
    const auto describe = [](const WitnessedMonitor& monitor) {
        return monitor.name + (monitor.primary ? " primary " : " ") + std::to_string(monitor.width) + "x" +
               std::to_string(monitor.height) + "+" + std::to_string(monitor.x) + "+" + std::to_string(monitor.y);
    };
    EXPECT_EQ(describe(monitors[0]), "Left primary 1920x2160+0+0");
    EXPECT_EQ(describe(monitors[1]), "Right 1920x2160+1920+0");
}

TEST_F(TestSession, OpenboxManagesTheWindows) {
    const auto check = witnessedNumbers("_NET_SUPPORTING_WM_CHECK");
    ASSERT_EQ(check.size(), 1u);
    EXPECT_THAT(witnessedProperty("_NET_WM_NAME", check[0]), HasSubstr("\"Openbox\""));
}

TEST_F(TestSession, ApplicationWindowsAreManagedWhereAskedAndShowTheirPattern) {
    TestApplication application(
        {{{"Main", 400, 300, {{100, 200}}, {}, {}}, {"Beside", 300, 200, {{2100, 150}}, {{200, 100}}, "112233"}}});
    const auto started = application.reports().waitFor("started");
    ASSERT_TRUE(started);
    EXPECT_EQ(started->integer("pid"), application.pid());

    for (const auto& [name, frameX, frameY, colour, minimum] :
         {std::tuple{"Main", 100, 200, "3070d0", ""},
          std::tuple{"Beside", 2100, 150, "112233", "program specified minimum size: 200 by 100"}}) {
        SCOPED_TRACE(name);
        const auto window = waitForMapped(application, name);
        ASSERT_TRUE(window);
        EXPECT_EQ(window->colour, colour);
        EXPECT_THAT(witnessedNumbers("_NET_CLIENT_LIST"), Contains(window->xid));
        EXPECT_THAT(witnessedNumbers("_NET_WM_PID", window->xid), ElementsAre(application.pid()));
        EXPECT_THAT(witnessedProperty("WM_CLASS", window->xid),
                    HasSubstr("\"org.zentrabo.TestApp\", \"org.zentrabo.TestApp\""));
        EXPECT_THAT(witnessedProperty("WM_NORMAL_HINTS", window->xid), HasSubstr(minimum));
        // The frame's corner is where it was asked for; the client area is
        // inside the frame's left and top edges.
        const auto extents = witnessedNumbers("_NET_FRAME_EXTENTS", window->xid);
        ASSERT_EQ(extents.size(), 4u);
        EXPECT_EQ(window->x, frameX + static_cast<int>(extents[0]));
        EXPECT_EQ(window->y, frameY + static_cast<int>(extents[2]));

        const auto image = WitnessedImage::ofWindow(window->xid);
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width(), window->width);
        ASSERT_EQ(image->height(), window->height);
        const int w = window->width, h = window->height;
        for (const auto& [x, y] : {std::pair{0, 0}, std::pair{w / 2 - 1, h / 2 - 1}, std::pair{w / 2, h / 2 - 1},
                                   std::pair{w / 2 - 1, h / 2}, std::pair{w - 1, h - 1}}) {
            EXPECT_EQ(image->at(x, y), testPatternColour(colour, w, h, x, y)) << "at " << x << "," << y;
        }
    }
}

TEST_F(TestSession, SecondApplicationHasItsOwnIdAndReportsItsArguments) {
    TestApplication application(
        {{{"Other", 200, 200, {}, {}, {}}}, std::string(kSecondTestApplicationId), {"first", "second"}});
    const auto started = application.reports().waitFor("started");
    ASSERT_TRUE(started);
    EXPECT_EQ(started->text("applicationId"), kSecondTestApplicationId);
    EXPECT_THAT(started->line(), HasSubstr(R"("--window", "name=Other,size=200x200", "first", "second"])"));
    const auto window = waitForMapped(application, "Other");
    ASSERT_TRUE(window);
    EXPECT_THAT(witnessedProperty("WM_CLASS", window->xid),
                HasSubstr("\"org.zentrabo.TestApp2\", \"org.zentrabo.TestApp2\""));
}

TEST_F(TestSession, ApplicationReportsTheInputAWitnessSends) {
    TestApplication application({.windows = {{"Input", 400, 300, {{300, 300}}, {}, {}}}});
    const auto window = waitForMapped(application, "Input");
    ASSERT_TRUE(window);
    auto& reports = application.reports();

    witnessOutput("xdotool mousemove " + std::to_string(window->x + 40) + " " + std::to_string(window->y + 30) +
                  " click --repeat 2 --delay 50 1");
    for (const int count : {1, 2}) {
        const auto press = reports.waitFor("click", "Input");
        ASSERT_TRUE(press);
        EXPECT_EQ(press->text("action"), "press");
        EXPECT_EQ(press->integer("clickCount"), count);
        EXPECT_EQ(press->integer("x"), 40);
        EXPECT_EQ(press->integer("y"), 30);
        const auto release = reports.waitFor("click", "Input");
        ASSERT_TRUE(release);
        EXPECT_EQ(release->text("action"), "release");
    }

    witnessOutput("xdotool windowactivate --sync " + std::to_string(window->xid) + " key shift+a");
    const auto shift = reports.waitFor("key", "Input");
    ASSERT_TRUE(shift);
    EXPECT_EQ(shift->text("keysym"), "Shift_L");
    const auto letter = reports.waitFor("key", "Input");
    ASSERT_TRUE(letter);
    EXPECT_EQ(letter->text("keysym"), "A");
    EXPECT_THAT(letter->line(), HasSubstr(R"("modifiers": ["shift"])"));
    EXPECT_THAT(reports.waitFor("text", "Input"),
                Optional(::testing::Property(&TestApplicationReport::line, HasSubstr(R"("text": "A")"))));

    witnessOutput("xdotool click 5");
    const auto scroll = reports.waitFor("scroll", "Input");
    ASSERT_TRUE(scroll);
    EXPECT_EQ(scroll->text("direction"), "down");
}

TEST_F(TestSession, ApplicationMenusAreOnTheAccessibilityBusAndWork) {
    TestApplication application({.windows = {{"Menus", 400, 300, {{200, 200}}, {}, {}, true}}});
    const auto window = waitForMapped(application, "Menus");
    ASSERT_TRUE(window);
    EXPECT_EQ(
        witnessOutput("/usr/bin/python3 -B " ZENTRABO_SOURCE_DIR "/tests/support/accessibility_witness.py menus " +
                      std::to_string(application.pid())),
        "menu bar \"\" enabled -\n"
        "  menu \"File\" enabled -\n"
        "    menu item \"New Window\" enabled <Primary>n\n"
        "    menu item \"Print\" disabled -\n"
        "    menu \"Recent\" enabled -\n"
        "      menu item \"First Document\" enabled -\n"
        "      menu item \"Second Document\" enabled -\n"
        "    menu item \"Confirm…\" enabled -\n"
        "    menu item \"Quit\" enabled <Primary>q\n"
        "  menu \"Edit\" enabled -\n"
        "    menu item \"Paste\" enabled <Primary>v\n");

    // The shortcut opens a second window named after the first; Paste puts
    // the clipboard into the text field.
    witnessOutput("xdotool windowactivate --sync " + std::to_string(window->xid) + " key ctrl+n");
    EXPECT_TRUE(waitForMapped(application, "Menus 2"));
    witnessOutput("sh -c 'printf pasted | xclip -selection clipboard -loops 1 & xdotool windowactivate --sync " +
                  std::to_string(window->xid) + " key alt+e p; wait'");
    const auto field = application.reports().waitFor("field", "Menus");
    ASSERT_TRUE(field);
    EXPECT_EQ(field->text("text"), "pasted");
}

}  // namespace
}  // namespace zentrabo::testing
