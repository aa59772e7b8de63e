// Scenario files: the round trip, the faults they are refused for, and the
// built-in scenario.
#include <gmock/gmock.h>

#include <fstream>

#include "desktop_fixture.hpp"
#include "support/file_text.hpp"
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
    EXPECT_TRUE(scenario.permissions.accessibility);
    EXPECT_FALSE(scenario.permissions.screenRecording);
}

// The members that stand around the one a case is about.
constexpr std::string_view mainDisplay = R"({"id":1,"bounds":{"x":0,"y":0,"width":800,"height":600}})";

std::string member(std::string_view json) {
    return R"({"displays":[)" + std::string(mainDisplay) + "]," + std::string(json) + "}";
}
std::string application(std::string_view json) { return member(R"("applications":[)" + std::string(json) + "]"); }
std::string menuItem(std::string_view json) {
    return application(R"({"name":"A","bundleIdentifier":"a","menus":[{"title":"F","items":[)" + std::string(json) +
                       "]}]}");
}
std::string effect(std::string_view json) { return menuItem(R"({"title":"X","effects":[)" + std::string(json) + "]}"); }

TEST(ScenarioFileTest, AMalformedScenarioIsRefusedWithItsFaultNamed) {
    // Faults are reported in the order the members are read, unknown keys
    // after every known one, and of repeated keys the last counts.
    const std::pair<std::string, std::string_view> cases[] = {
        {R"({"displays": [)", R"(scenario: not valid JSON (The JSON text is malformed.))"},
        {R"([])", R"(scenario: must be an object)"},
        {R"("text")", R"(scenario: must be an object)"},
        {R"({"display": []})", R"(display: unknown key)"},
        {R"({})", R"(displays: at least one display is needed)"},
        {R"({"displays": {}})", R"(displays: must be an array)"},
        {R"({"displays": [5]})", R"(displays[0]: must be an object)"},
        {R"({"displays": null})", R"(displays: must be an array)"},
        {R"({"displays":[{"id":-1,"bounds":{"x":0,"y":0,"width":8,"height":6}}]})",
         R"(displays[0].id: must be a whole number in range)"},
        {R"({"displays":[{"id":1.5,"bounds":{"x":0,"y":0,"width":8,"height":6}}]})",
         R"(displays[0].id: must be a whole number in range)"},
        {R"({"displays":[{"id":"1","bounds":{"x":0,"y":0,"width":8,"height":6}}]})",
         R"(displays[0].id: must be a whole number in range)"},
        {R"({"displays":[{"id":4294967296,"bounds":{"x":0,"y":0,"width":8,"height":6}}]})",
         R"(displays[0].id: must be a whole number in range)"},
        {R"({"displays":[{"id":2.0,"bounds":{"x":0,"y":0,"width":8,"height":6}}]})", R"(accepted)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":"wide","height":6}}]})",
         R"(displays[0].bounds.width: must be a number)"},
        {R"({"displays":[{"id":1,"bounds":null}]})", R"(displays[0].bounds: must be an object)"},
        {R"({"displays":[{"id":1}]})", R"(displays[0].bounds: is missing)"},
        {R"({"displays":[{"bounds":{"x":0,"y":0,"width":8,"height":6}}]})", R"(displays[0].id: is missing)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6,"depth":1}}]})",
         R"(displays[0].bounds.depth: unknown key)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"background":"#12345"}]})",
         R"(displays[0].background: must be a colour #RRGGBB or #RRGGBBAA)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"background":5}]})",
         R"(displays[0].background: must be a string)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"background":"#GGGGGG"}]})",
         R"(displays[0].background: must be a colour #RRGGBB or #RRGGBBAA)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"name":null}]})",
         R"(displays[0].name: must be a string)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"modes":[{"width":8,"height":6,"pixelHeight":6}]}]})",
         R"(displays[0].modes[0].pixelWidth: is missing)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"modes":[{"width":8,"height":6,"pixelWidth":8,"pixelHeight":6,"refreshRate":"x"}]}]})",
         R"(displays[0].modes[0].refreshRate: must be a number)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"modes":[{"width":8,"height":6,"pixelWidth":8,"pixelHeight":6,"ioFlags":-1}]}]})",
         R"(displays[0].modes[0].ioFlags: must be a whole number in range)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":8,"height":6},"modes":{}}]})",
         R"(displays[0].modes: must be an array)"},
        {R"({"displays":[{"id":1,"scale":8,"bounds":{"x":0,"y":0,"width":2000,"height":600}}]})",
         R"(displays[0].bounds: must come to 1 to 8192 pixels a side at its scale)"},
        {R"({"displays":[{"id":1,"scale":0.25,"bounds":{"x":0,"y":0,"width":800,"height":2}}]})",
         R"(displays[0].bounds: must come to 1 to 8192 pixels a side at its scale)"},
        {R"({"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":800,"height":600},"modes":[{"width":800,"height":600,"pixelWidth":65536,"pixelHeight":600}]}]})",
         R"(displays[0].modes[0]: sizes must be 1 to 8192)"},
        {application(R"({"bundleIdentifier":"a"})"), R"(applications[0].name: is missing)"},
        {application(R"({"name":5,"bundleIdentifier":"a"})"), R"(applications[0].name: must be a string)"},
        {application(R"({"name":null,"bundleIdentifier":"a"})"), R"(applications[0].name: must be a string)"},
        {application(R"({"bundleIdentifier":5})"), R"(applications[0].name: is missing)"},
        {application(R"({"running":"x","name":5,"bundleIdentifier":"a"})"),
         R"(applications[0].name: must be a string)"},
        {application(R"({"name":"A","bundleIdentifier":"a","activationPolicy":"background"})"),
         R"(applications[0].activationPolicy: unknown value "background")"},
        {application(R"({"name":"A","bundleIdentifier":"a","activationPolicy":1})"),
         R"(applications[0].activationPolicy: must be a string)"},
        {application(R"({"name":"A","bundleIdentifier":"a","folder":"desktop"})"),
         R"(applications[0].folder: unknown value "desktop")"},
        {application(R"({"name":"A","bundleIdentifier":"a","running":"yes"})"),
         R"(applications[0].running: must be true or false)"},
        {application(R"({"name":"A","bundleIdentifier":"a","launchDelay":"1"})"),
         R"(applications[0].launchDelay: must be a number)"},
        {application(R"({"name":"A","bundleIdentifier":"a","iconColor":"#12345"})"),
         R"(applications[0].iconColor: must be a colour #RRGGBB or #RRGGBBAA)"},
        {application(R"({"name":"A","bundleIdentifier":"a","windows":[{"title":"W"}]})"),
         R"(applications[0].windows[0].frame: is missing)"},
        {application(
             R"({"name":"A","bundleIdentifier":"a","windows":[{"frame":{"x":0,"y":0,"width":200,"height":100},"color":"red"}]})"),
         R"(applications[0].windows[0].color: must be a colour #RRGGBB or #RRGGBBAA)"},
        {application(
             R"({"name":"A","bundleIdentifier":"a","windows":[{"frame":{"x":0,"y":0,"width":200,"height":100},"text":null}]})"),
         R"(applications[0].windows[0].text: must be a string)"},
        {application(R"({"name":"A","bundleIdentifier":"a","menus":["="]})"),
         R"(applications[0].menus[0]: must be an object or "-")"},
        {application(R"({"name":"A","bundleIdentifier":"a","menus":[5]})"),
         R"(applications[0].menus[0]: must be an object)"},
        {application(R"({"name":"A","bundleIdentifier":"a","menus":{}})"),
         R"(applications[0].menus: must be an array)"},
        {application(R"({"name":"A","bundleIdentifier":"a","tone":{"frequency":25000}})"),
         R"(applications[0].tone.frequency: out of range)"},
        {application(R"({"name":"A","bundleIdentifier":"a","tone":{"level":1.5}})"),
         R"(applications[0].tone.level: out of range)"},
        {application(R"({"name":"A","bundleIdentifier":"a","tone":{"channelCount":3}})"),
         R"(applications[0].tone.channelCount: must be 1 or 2)"},
        {application(R"({"name":"A","bundleIdentifier":"a","unknown":true})"),
         R"(applications[0].unknown: unknown key)"},
        {menuItem(R"({"shortcut":"meta+S"})"), R"(applications[0].menus[0].items[0].shortcut: not a shortcut)"},
        {menuItem(R"({"title":"X","action":"go"})"), R"(applications[0].menus[0].items[0].action: unknown key)"},
        {menuItem(R"({"title":"X","items":{}})"), R"(applications[0].menus[0].items[0].items: must be an array)"},
        {menuItem(R"({"title":"X","enabled":"no"})"),
         R"(applications[0].menus[0].items[0].enabled: must be true or false)"},
        {effect(R"({})"), R"(applications[0].menus[0].items[0].effects[0].kind: is missing)"},
        {effect(R"({"kind":"explode"})"),
         R"(applications[0].menus[0].items[0].effects[0].kind: unknown value "explode")"},
        {effect(R"({"kind":"openSheet"})"), R"(applications[0].menus[0].items[0].effects[0]: openSheet needs a sheet)"},
        {effect(R"({"kind":"openSheet","sheet":null})"),
         R"(applications[0].menus[0].items[0].effects[0].sheet: must be an object)"},
        {effect(R"({"kind":"openSheet","sheet":{"buttons":[{"title":1}]}})"),
         R"(applications[0].menus[0].items[0].effects[0].sheet.buttons[0].title: must be a string)"},
        {effect(R"({"kind":"openSheet","sheet":{"buttons":[{}]}})"),
         R"(applications[0].menus[0].items[0].effects[0].sheet.buttons[0].title: is missing)"},
        {effect(
             R"({"kind":"openSheet","sheet":{"buttons":[{"title":"OK","effects":[{"kind":"dismissSheet","delay":"later"}]}]}})"),
         R"(applications[0].menus[0].items[0].effects[0].sheet.buttons[0].effects[0].delay: must be a number)"},
        {effect(R"({"kind":"openSheet","sheet":{"panel":1,"buttons":[]}})"),
         R"(applications[0].menus[0].items[0].effects[0].sheet.panel: must be true or false)"},
        {effect(R"({"kind":"openSheet","sheet":{"buttons":[],"style":"alert"}})"),
         R"(applications[0].menus[0].items[0].effects[0].sheet.style: unknown key)"},
        {effect(R"({"kind":"dismissSheet","delay":-1})"),
         R"(applications[0].menus[0].items[0].effects[0].delay: out of range)"},
        {member(R"("permissions":{"accessibility":"yes"})"), R"(permissions.accessibility: must be true or false)"},
        {member(R"("permissions":null)"), R"(permissions: must be an object)"},
        {member(R"("permissions":{"camera":true})"), R"(permissions.camera: unknown key)"},
        {member(R"("keyboard":{"inputSources":[{"name":"x"}]})"), R"(keyboard.inputSources[0].identifier: is missing)"},
        {member(R"("keyboard":{"layout":"x"})"), R"(keyboard.layout: unknown key)"},
        {member(R"("keyboard":{"currentLayout":5})"), R"(keyboard.currentLayout: must be a string)"},
        {member(R"("frontmost":null)"), R"(frontmost: must be a string)"},
        {member(R"("pasteboardText":5)"), R"(pasteboardText: must be a string)"},
        {member(R"("colour":1)"), R"(colour: unknown key)"},
        {R"({"colour":1,"displays":[{"id":-1,"bounds":{"x":0,"y":0,"width":8,"height":6}}]})",
         R"(displays[0].id: must be a whole number in range)"},
        {R"({"displays":5,"displays":[{"id":1,"bounds":{"x":0,"y":0,"width":800,"height":600}}]})", R"(accepted)"},
        {member(R"("displays":5)"), R"(displays: must be an array)"},
        {member(R"("frontmost":"com.missing")"), R"(frontmost: names no running application)"},
    };
    for (const auto& [json, fault] : cases) EXPECT_EQ(faultOf(json), fault) << json;
}

TEST(ScenarioFileTest, AScenarioWrittenBeforeReadsBackAndIsWrittenByteForByte) {
    const std::filesystem::path path = ZENTRABO_SOURCE_DIR "/tests/platform/desktop/fixtures/scenario.json";
    const std::string stored = testing::fileText(path);
    const DesktopScenario scenario = readDesktopScenarioFile(path);
    EXPECT_EQ(writeDesktopScenario(scenario), stored);

    ASSERT_EQ(scenario.displays.size(), 2u);
    EXPECT_EQ(scenario.displays[1].id, 4294967295u);
    EXPECT_EQ(scenario.displays[1].background, 0x10203040u);
    EXPECT_EQ(scenario.displays[0].modes.at(1).ioFlags, 4294967295u);
    ASSERT_EQ(scenario.applications.size(), 3u);
    const auto& file = scenario.applications[0].menus.at(0);
    EXPECT_EQ(file.children.at(1), separator());
    EXPECT_TRUE(file.children.at(3).effects.at(0).sheet->buttons.at(2).effects.at(0).sheet->panel);
    EXPECT_EQ(scenario.applications[0].windows.at(0).text, "Shopping list\x01\t\\");
    EXPECT_EQ(scenario.applications[1].activationPolicy, ActivationPolicy::accessory);
    EXPECT_FALSE(scenario.permissions.accessibility);
    EXPECT_EQ(scenario.keyboard.inputSources.size(), 2u);
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
