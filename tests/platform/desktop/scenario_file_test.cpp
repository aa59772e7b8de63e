// Scenario files: the round trip, the faults they are refused for, and the
// built-in scenario.
#include <gmock/gmock.h>

#include <fstream>

#include "desktop_fixture.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "support/server_identity.hpp"

namespace zentrabo::platform {
namespace {

using ::testing::HasSubstr;

std::string faultOf(std::string_view json) {
    try {
        parseDesktopScenario(json);
    } catch (const ScenarioError& error) {
        return error.what();
    }
    return "accepted";
}

constexpr std::string_view minimal = R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":800,"height":600}}]})";

TEST(ScenarioFileTest, TheBuiltInScenarioSurvivesTheRoundTrip) {
    zentrabo::testing::useServerIdentity();
    const DesktopScenario scenario = defaultDesktopScenario();
    const std::string json = writeDesktopScenario(scenario);
    EXPECT_EQ(parseDesktopScenario(json), scenario);
    EXPECT_EQ(writeDesktopScenario(parseDesktopScenario(json)), json);
}

TEST(ScenarioFileTest, ShorthandsAndDefaultsAreRead) {
    const auto scenario = parseDesktopScenario(R"({
        "displays": [{"id": 3, "bounds": {"x": 0, "y": 0, "width": 1280, "height": 800}, "background": "#102030"}],
        "applications": [{"name": "Notes", "bundleIdentifier": "com.example.notes",
            "menus": [{"title": "File", "items": [{"title": "Save", "shortcut": "cmd+S"}, "-",
                {"title": "Close", "effects": [{"kind": "openSheet", "sheet": {"buttons": [{"title": "OK"}]}}]}]}]}],
        "permissions": {"screenRecording": false}})");
    ASSERT_EQ(scenario.applications.size(), 1u);
    const auto& file = scenario.applications[0].menus[0];
    EXPECT_EQ(file.children[1], separator());
    EXPECT_EQ(file.children[2].effects[0].sheet->buttons[0].title, "OK");
    EXPECT_EQ(scenario.displays[0].background, 0x102030FFu);
    EXPECT_TRUE(scenario.applications[0].running);
    EXPECT_TRUE(scenario.accessibilityTrusted);
    EXPECT_FALSE(scenario.screenRecordingAllowed);
}

TEST(ScenarioFileTest, AMalformedScenarioIsRefusedWithItsFaultNamed) {
    EXPECT_THAT(faultOf("{\"displays\": ["), HasSubstr("not valid JSON"));
    EXPECT_THAT(faultOf("[]"), HasSubstr("scenario: must be an object"));
    EXPECT_THAT(faultOf(R"({"display": []})"), HasSubstr("display: unknown key"));
    EXPECT_THAT(faultOf("{}"), HasSubstr("displays: at least one display"));
    EXPECT_THAT(faultOf(R"({"displays":[{"id":-1,"bounds":{"x":0,"y":0,"width":8,"height":6}}]})"),
                HasSubstr("displays[0].id: must be a whole number in range"));
    EXPECT_THAT(faultOf(R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":"wide","height":6}}]})"),
                HasSubstr("displays[0].bounds.width: must be a number"));
    // A capture of the display is one picture of its pixels: that stays bounded.
    EXPECT_THAT(faultOf(R"({"displays":[{"id":1,"scale":8,"bounds":{"x":0,"y":0,"width":2000,"height":600}}]})"),
                HasSubstr("displays[0].bounds: must come to 1 to 8192 pixels a side at its scale"));
    EXPECT_THAT(faultOf(R"({"displays":[{"id":1,"scale":0.25,"bounds":{"x":0,"y":0,"width":800,"height":2}}]})"),
                HasSubstr("displays[0].bounds: must come to 1 to 8192 pixels a side at its scale"));
    EXPECT_THAT(faultOf(R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":800,"height":600},)"
                        R"("modes":[{"width":800,"height":600,"pixelWidth":65536,"pixelHeight":600}]}]})"),
                HasSubstr("displays[0].modes[0]: sizes must be 1 to 8192"));

    const std::string app = std::string(minimal).substr(0, minimal.size() - 1) + R"(,"applications":[)";
    EXPECT_THAT(faultOf(app + R"({"bundleIdentifier":"a"}]})"), HasSubstr("applications[0].name: is missing"));
    EXPECT_THAT(faultOf(app + R"({"name":"A","bundleIdentifier":"a","activationPolicy":"background"}]})"),
                HasSubstr("applications[0].activationPolicy: unknown value \"background\""));
    EXPECT_THAT(
        faultOf(app +
                R"({"name":"A","bundleIdentifier":"a","menus":[{"title":"F","items":[{"shortcut":"meta+S"}]}]}]})"),
        HasSubstr("applications[0].menus[0].items[0].shortcut: not a shortcut"));
    EXPECT_THAT(faultOf(app + R"({"name":"A","bundleIdentifier":"a","iconColor":"#12345"}]})"),
                HasSubstr("applications[0].iconColor: must be a colour"));
    EXPECT_THAT(
        faultOf(app +
                R"({"name":"A","bundleIdentifier":"a","menus":[{"items":[{"effects":[{"kind":"openSheet"}]}]}]}]})"),
        HasSubstr("applications[0].menus[0].items[0].effects[0]: openSheet needs a sheet"));
}

TEST(ScenarioFileTest, AFileIsNamedInItsFaultAndTheBuiltInScenarioStandsInForAMissingOne) {
    TemporaryHome home;
    EXPECT_EQ(desktopScenarioPath(), home.root() / "config/zentrabo/virtual-desktop.json");
    EXPECT_EQ(loadDesktopScenario(), defaultDesktopScenario());

    std::filesystem::create_directories(desktopScenarioPath().parent_path());
    std::ofstream(desktopScenarioPath()) << R"({"displays": [], "colour": 1})";
    try {
        loadDesktopScenario();
        FAIL() << "a faulty file was accepted";
    } catch (const ScenarioError& error) {
        EXPECT_EQ(std::string(error.what()), desktopScenarioPath().string() + ": colour: unknown key");
    }

    std::ofstream(desktopScenarioPath()) << minimal;
    EXPECT_EQ(loadDesktopScenario().displays.at(0).bounds.width, 800);
    EXPECT_THAT([] { readDesktopScenarioFile("/nonexistent/scenario.json"); },
                ::testing::ThrowsMessage<ScenarioError>(HasSubstr("/nonexistent/scenario.json: cannot be read")));
}

class DefaultDesktopTest : public DesktopTest {};

TEST_F(DefaultDesktopTest, TheBuiltInDesktopWorksOutOfTheBox) {
    desktop = VirtualDesktop::create(defaultDesktopScenario(), clock);
    EXPECT_TRUE(desktop->isProcessTrusted());
    EXPECT_TRUE(desktop->preflightAccess());
    EXPECT_EQ(desktop->frontmostApplication()->localizedName(), "Text Editor");
    EXPECT_EQ(desktop->runningApplications().size(), 4u);
    ASSERT_TRUE(desktop->urlForApplication("com.zentrabo.demo.calculator"));

    desktop->performAction(menuElement("com.zentrabo.demo.browser", {"File", "Edit Page Source"}), "AXPress");
    EXPECT_EQ(desktop->frontmostApplication()->localizedName(), "Text Editor");
    desktop->performAction(menuElement("com.zentrabo.demo.texteditor", {"File", "Close"}), "AXPress");
    desktop->performAction(menuElement("com.zentrabo.demo.texteditor", {"Text Editor", "Quit Text Editor"}), "AXPress");
    clock.runLoopTurn(1);
    EXPECT_EQ(desktop->frontmostApplication()->localizedName(), "Terminal") << "the one in front before it";
}

}  // namespace
}  // namespace zentrabo::platform
