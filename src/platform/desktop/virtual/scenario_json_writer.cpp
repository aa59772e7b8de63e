// Writing a desktop scenario as JSON, every field spelt out.
#include <cstdio>

#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/json/json_writer.hpp"

namespace zentrabo::platform {

namespace {

class ScenarioWriter {
public:
    explicit ScenarioWriter(std::string& out) : json_(out) {}

    void scenario(const DesktopScenario& scenario) {
        json_.beginObject();
        json_.key("displays");
        json_.beginArray();
        for (const auto& entry : scenario.displays) display(entry);
        json_.endArray();
        json_.key("applications");
        json_.beginArray();
        for (const auto& entry : scenario.applications) application(entry);
        json_.endArray();
        optionalText("frontmost", scenario.frontmost);
        optionalText("pasteboardText", scenario.pasteboardText);
        json_.key("permissions");
        json_.beginObject();
        flag("accessibility", scenario.accessibilityTrusted);
        flag("screenRecording", scenario.screenRecordingAllowed);
        json_.endObject();
        json_.key("keyboard");
        json_.beginObject();
        optionalText("currentLayout", scenario.keyboardLayout);
        json_.key("inputSources");
        json_.beginArray();
        for (const auto& source : scenario.inputSources) {
            json_.beginObject();
            text("name", source.name);
            text("identifier", source.identifier);
            json_.endObject();
        }
        json_.endArray();
        json_.endObject();
        json_.endObject();
    }

private:
    void text(std::string_view key, std::string_view value) {
        json_.key(key);
        json_.string(value);
    }
    void optionalText(std::string_view key, const std::optional<std::string>& value) {
        if (value) text(key, *value);
    }
    void flag(std::string_view key, bool value) {
        json_.key(key);
        json_.boolean(value);
    }
    void number(std::string_view key, double value) {
        json_.key(key);
        json_.number(value);
    }
    void integer(std::string_view key, std::int64_t value) {
        json_.key(key);
        json_.integer(value);
    }
    void color(std::string_view key, std::uint32_t rgba) {
        char buffer[12];
        std::snprintf(buffer, sizeof buffer, "#%08X", rgba);
        text(key, buffer);
    }
    void rect(std::string_view key, const Rect& r) {
        json_.key(key);
        json_.beginObject();
        number("x", r.x);
        number("y", r.y);
        number("width", r.width);
        number("height", r.height);
        json_.endObject();
    }

    void display(const ScenarioDisplay& display) {
        json_.beginObject();
        integer("id", display.id);
        optionalText("name", display.name);
        rect("bounds", display.bounds);
        number("scale", display.scale);
        number("refreshRate", display.refreshRate);
        color("background", display.background);
        optionalText("picture", display.picture);
        json_.key("modes");
        json_.beginArray();
        for (const auto& mode : display.modes) {
            json_.beginObject();
            integer("width", mode.width);
            integer("height", mode.height);
            integer("pixelWidth", mode.pixelWidth);
            integer("pixelHeight", mode.pixelHeight);
            number("refreshRate", mode.refreshRate);
            integer("ioDisplayModeID", mode.ioDisplayModeID);
            integer("ioFlags", mode.ioFlags);
            flag("usableForDesktopGUI", mode.usableForDesktopGUI);
            json_.endObject();
        }
        json_.endArray();
        json_.endObject();
    }

    void application(const ScenarioApplication& application) {
        json_.beginObject();
        text("name", application.name);
        text("bundleIdentifier", application.bundleIdentifier);
        optionalText("displayName", application.displayName);
        text("activationPolicy", rawValue(application.activationPolicy));
        flag("running", application.running);
        flag("installed", application.installed);
        text("folder", rawValue(application.folder));
        text("subfolder", application.subfolder);
        flag("hidden", application.hidden);
        flag("responsive", application.responsive);
        flag("acceptsTerminate", application.acceptsTerminate);
        number("launchDelay", application.launchDelay);
        number("terminateDelay", application.terminateDelay);
        number("forceTerminateDelay", application.forceTerminateDelay);
        color("iconColor", application.iconColor);
        json_.key("menus");
        menuItems(application.menus);
        json_.key("windows");
        json_.beginArray();
        for (const auto& window : application.windows) {
            json_.beginObject();
            text("title", window.title);
            rect("frame", window.frame);
            flag("minimized", window.minimized);
            optionalText("text", window.text);
            color("color", window.color);
            json_.endObject();
        }
        json_.endArray();
        json_.endObject();
    }

    void menuItems(const std::vector<ScenarioMenuItem>& items) {
        json_.beginArray();
        for (const auto& item : items) {
            if (item == separator()) {
                json_.string("-");
                continue;
            }
            json_.beginObject();
            text("title", item.title);
            flag("enabled", item.enabled);
            optionalText("shortcut", item.shortcut);
            json_.key("items");
            menuItems(item.children);
            effects(item.effects);
            json_.endObject();
        }
        json_.endArray();
    }

    void effects(const std::vector<ScenarioEffect>& list) {
        json_.key("effects");
        json_.beginArray();
        for (const auto& effect : list) {
            json_.beginObject();
            text("kind", rawValue(effect.kind));
            text("bundleIdentifier", effect.bundleIdentifier);
            text("windowTitle", effect.windowTitle);
            number("delay", effect.delay);
            if (effect.sheet) {
                const auto& sheet = *effect.sheet;
                json_.key("sheet");
                json_.beginObject();
                optionalText("title", sheet.title);
                optionalText("message", sheet.message);
                optionalText("cancelButton", sheet.cancelButton);
                flag("panel", sheet.panel);
                json_.key("buttons");
                json_.beginArray();
                for (const auto& button : sheet.buttons) {
                    json_.beginObject();
                    text("title", button.title);
                    effects(button.effects);
                    json_.endObject();
                }
                json_.endArray();
                json_.endObject();
            }
            json_.endObject();
        }
        json_.endArray();
    }

    JsonWriter json_;
};

}  // namespace

std::string writeDesktopScenario(const DesktopScenario& scenario) {
    std::string out;
    ScenarioWriter(out).scenario(scenario);
    return out;
}

}  // namespace zentrabo::platform
