// Reading a desktop scenario from JSON, strictly: wrong types, unknown keys
// and unknown enumeration strings are faults named with their place.
#include <algorithm>
#include <cctype>
#include <functional>
#include <set>

#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/json/json_reader.hpp"

namespace zentrabo::platform {

namespace {

[[noreturn]] void fail(const std::string& place, const std::string& fault) {
    throw ScenarioError(place + ": " + fault);
}

// The members of one object, each read at most once; finish() refuses the
// keys nobody asked for.
class Fields {
public:
    Fields(JsonValue value, std::string place) : place_(std::move(place)) {
        auto object = value.asObject();
        if (!object) fail(place_.empty() ? "scenario" : place_, "must be an object");
        object_ = *object;
    }

    std::string at(std::string_view key) const {
        return place_.empty() ? std::string(key) : place_ + "." + std::string(key);
    }

    std::optional<JsonValue> take(std::string_view key) {
        seen_.insert(std::string(key));
        return object_->find(key);
    }

    void text(std::string_view key, std::string& out, bool required = false) {
        if (auto value = take(key)) {
            auto string = value->asString();
            if (!string) fail(at(key), "must be a string");
            out = *string;
        } else if (required) {
            fail(at(key), "is missing");
        }
    }

    void text(std::string_view key, std::optional<std::string>& out) {
        if (auto value = take(key)) {
            std::string string;
            text(key, string);
            out = std::move(string);
        }
    }

    void flag(std::string_view key, bool& out) {
        if (auto value = take(key)) {
            auto flag = value->asBool();
            if (!flag) fail(at(key), "must be true or false");
            out = *flag;
        }
    }

    void number(std::string_view key, double& out) {
        if (auto value = take(key)) {
            auto number = value->asDouble();
            if (!number) fail(at(key), "must be a number");
            out = *number;
        }
    }

    template <class T>
    void integer(std::string_view key, T& out, bool required = false) {
        if (auto value = take(key)) {
            if (value->getInteger(out) != JsonIntegerStatus::ok) fail(at(key), "must be a whole number in range");
        } else if (required) {
            fail(at(key), "is missing");
        }
    }

    template <class E>
    void enumeration(std::string_view key, E& out) {
        std::string raw;
        if (!take(key)) return;
        text(key, raw);
        if (!fromRawValue(raw, out)) fail(at(key), "unknown value \"" + raw + "\"");
    }

    void color(std::string_view key, std::uint32_t& out) {
        std::string raw;
        if (!take(key)) return;
        text(key, raw);
        const bool sized = raw.size() == 7 || raw.size() == 9;
        if (!sized || raw[0] != '#' || !std::all_of(raw.begin() + 1, raw.end(), [](char c) {
                return std::isxdigit(static_cast<unsigned char>(c));
            })) {
            fail(at(key), "must be a colour #RRGGBB or #RRGGBBAA");
        }
        const auto value = static_cast<std::uint32_t>(std::stoul(raw.substr(1), nullptr, 16));
        out = raw.size() == 7 ? (value << 8) | 0xFF : value;
    }

    void rect(std::string_view key, Rect& out, bool required) {
        auto value = take(key);
        if (!value) {
            if (required) fail(at(key), "is missing");
            return;
        }
        Fields fields(*value, at(key));
        fields.number("x", out.x);
        fields.number("y", out.y);
        fields.number("width", out.width);
        fields.number("height", out.height);
        fields.finish();
    }

    void list(std::string_view key, const std::function<void(JsonValue, const std::string&)>& read) {
        auto value = take(key);
        if (!value) return;
        auto array = value->asArray();
        if (!array) fail(at(key), "must be an array");
        std::size_t index = 0;
        for (auto element : *array) read(element, at(key) + "[" + std::to_string(index++) + "]");
    }

    void finish() const {
        for (const auto& field : *object_) {
            if (!seen_.contains(std::string(field.key))) fail(at(field.key), "unknown key");
        }
    }

private:
    std::optional<JsonObject> object_;
    std::string place_;
    std::set<std::string, std::less<>> seen_;
};

ScenarioEffect readEffect(JsonValue value, const std::string& place);

ScenarioSheet readSheet(JsonValue value, const std::string& place) {
    Fields fields(value, place);
    ScenarioSheet sheet;
    fields.text("title", sheet.title);
    fields.text("message", sheet.message);
    fields.text("cancelButton", sheet.cancelButton);
    fields.flag("panel", sheet.panel);
    fields.list("buttons", [&](JsonValue element, const std::string& at) {
        Fields button(element, at);
        ScenarioButton entry;
        button.text("title", entry.title, true);
        button.list("effects", [&](JsonValue effect, const std::string& where) {
            entry.effects.push_back(readEffect(effect, where));
        });
        button.finish();
        sheet.buttons.push_back(std::move(entry));
    });
    fields.finish();
    return sheet;
}

ScenarioEffect readEffect(JsonValue value, const std::string& place) {
    Fields fields(value, place);
    ScenarioEffect effect;
    if (!fields.take("kind")) fail(fields.at("kind"), "is missing");
    fields.enumeration("kind", effect.kind);
    fields.text("bundleIdentifier", effect.bundleIdentifier);
    fields.text("windowTitle", effect.windowTitle);
    fields.number("delay", effect.delay);
    if (auto sheet = fields.take("sheet")) effect.sheet = readSheet(*sheet, fields.at("sheet"));
    fields.finish();
    return effect;
}

ScenarioMenuItem readMenuItem(JsonValue value, const std::string& place) {
    // "-" stands for a separator.
    if (auto text = value.asString()) {
        if (*text != "-") fail(place, "must be an object or \"-\"");
        return separator();
    }
    Fields fields(value, place);
    ScenarioMenuItem item;
    fields.text("title", item.title);
    fields.flag("enabled", item.enabled);
    fields.text("shortcut", item.shortcut);
    fields.list("items",
                [&](JsonValue child, const std::string& at) { item.children.push_back(readMenuItem(child, at)); });
    fields.list("effects",
                [&](JsonValue effect, const std::string& at) { item.effects.push_back(readEffect(effect, at)); });
    fields.finish();
    return item;
}

ScenarioWindow readWindow(JsonValue value, const std::string& place) {
    Fields fields(value, place);
    ScenarioWindow window;
    fields.text("title", window.title);
    fields.rect("frame", window.frame, true);
    fields.flag("minimized", window.minimized);
    fields.text("text", window.text);
    fields.color("color", window.color);
    fields.finish();
    return window;
}

ScenarioApplication readApplication(JsonValue value, const std::string& place) {
    Fields fields(value, place);
    ScenarioApplication application;
    fields.text("name", application.name, true);
    fields.text("bundleIdentifier", application.bundleIdentifier, true);
    fields.text("displayName", application.displayName);
    fields.enumeration("activationPolicy", application.activationPolicy);
    fields.flag("running", application.running);
    fields.flag("installed", application.installed);
    fields.enumeration("folder", application.folder);
    fields.text("subfolder", application.subfolder);
    fields.flag("hidden", application.hidden);
    fields.flag("responsive", application.responsive);
    fields.flag("acceptsTerminate", application.acceptsTerminate);
    fields.number("launchDelay", application.launchDelay);
    fields.number("terminateDelay", application.terminateDelay);
    fields.number("forceTerminateDelay", application.forceTerminateDelay);
    fields.color("iconColor", application.iconColor);
    fields.list("menus",
                [&](JsonValue menu, const std::string& at) { application.menus.push_back(readMenuItem(menu, at)); });
    fields.list("windows", [&](JsonValue window, const std::string& at) {
        application.windows.push_back(readWindow(window, at));
    });
    fields.finish();
    return application;
}

DisplayMode readMode(JsonValue value, const std::string& place) {
    Fields fields(value, place);
    DisplayMode mode;
    fields.integer("width", mode.width, true);
    fields.integer("height", mode.height, true);
    fields.integer("pixelWidth", mode.pixelWidth, true);
    fields.integer("pixelHeight", mode.pixelHeight, true);
    fields.number("refreshRate", mode.refreshRate);
    fields.integer("ioDisplayModeID", mode.ioDisplayModeID);
    fields.integer("ioFlags", mode.ioFlags);
    fields.flag("usableForDesktopGUI", mode.usableForDesktopGUI);
    fields.finish();
    return mode;
}

ScenarioDisplay readDisplay(JsonValue value, const std::string& place) {
    Fields fields(value, place);
    ScenarioDisplay display;
    fields.integer("id", display.id, true);
    fields.text("name", display.name);
    fields.rect("bounds", display.bounds, true);
    fields.number("scale", display.scale);
    fields.number("refreshRate", display.refreshRate);
    fields.color("background", display.background);
    fields.text("picture", display.picture);
    fields.list("modes", [&](JsonValue mode, const std::string& at) { display.modes.push_back(readMode(mode, at)); });
    fields.finish();
    return display;
}

}  // namespace

DesktopScenario parseDesktopScenario(std::string_view json) {
    std::optional<JsonDocument> document;
    try {
        document = JsonDocument::parse(json);
    } catch (const JsonParseError& error) {
        fail("scenario", std::string("not valid JSON (") + error.what() + ")");
    }
    Fields fields(document->root(), "");
    DesktopScenario scenario;
    fields.list("displays", [&](JsonValue display, const std::string& at) {
        scenario.displays.push_back(readDisplay(display, at));
    });
    fields.list("applications", [&](JsonValue application, const std::string& at) {
        scenario.applications.push_back(readApplication(application, at));
    });
    fields.text("frontmost", scenario.frontmost);
    fields.text("pasteboardText", scenario.pasteboardText);
    if (auto permissions = fields.take("permissions")) {
        Fields inner(*permissions, fields.at("permissions"));
        inner.flag("accessibility", scenario.accessibilityTrusted);
        inner.flag("screenRecording", scenario.screenRecordingAllowed);
        inner.finish();
    }
    if (auto keyboard = fields.take("keyboard")) {
        Fields inner(*keyboard, fields.at("keyboard"));
        inner.text("currentLayout", scenario.keyboardLayout);
        inner.list("inputSources", [&](JsonValue source, const std::string& at) {
            Fields entry(source, at);
            ScenarioInputSource input;
            entry.text("name", input.name, true);
            entry.text("identifier", input.identifier, true);
            entry.finish();
            scenario.inputSources.push_back(std::move(input));
        });
        inner.finish();
    }
    fields.finish();
    validateScenario(scenario);
    return scenario;
}

}  // namespace zentrabo::platform
