#pragma once
// A controller on a desktop with one editor in front (with or without a
// focused text field), and the input the desktop received as short lines.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "controller_fixture.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo {

class KeyInputTest : public ControllerTest {
protected:
    // fieldText: the focused text field's value, caret at its end; none for a
    // window without a field.
    void startEditor(std::optional<std::string> fieldText, platform::DesktopBuilder builder = {}) {
        platform::ScenarioWindow window;
        window.title = "Draft";
        window.frame = {0, 0, 640, 480};
        window.text = std::move(fieldText);
        builder.application("Editor", "com.example.editor").window(window);
        start(builder);
    }

    // "down 56 shift", "up 55 shift+command", "down 0 shift \"A\"" (the
    // event's text), "system 8 0x70a00 -1 0xa00".
    std::vector<std::string> postedInput() {
        std::vector<std::string> lines;
        for (const auto& event : desktop->postedEvents()) {
            if (const auto* key = std::get_if<platform::KeyboardEvent>(&event)) {
                std::string line = (key->keyDown ? "down " : "up ") + std::to_string(key->keyCode);
                const std::string flags = flagNames(key->flags);
                if (!flags.empty()) line += " " + flags;
                if (!key->unicodeString.empty()) line += " \"" + platform::utf8(key->unicodeString) + "\"";
                lines.push_back(line);
            } else if (const auto* system = std::get_if<platform::SystemDefinedEvent>(&event)) {
                char text[96];
                std::snprintf(text, sizeof text, "system %lld 0x%llx %lld 0x%llx",
                              static_cast<long long>(system->subtype), static_cast<long long>(system->data1),
                              static_cast<long long>(system->data2),
                              static_cast<unsigned long long>(system->modifierFlags));
                lines.push_back(text);
            }
        }
        return lines;
    }

    std::optional<platform::AXElement> focusedField() {
        const auto focused = desktop->copyAttribute(desktop->systemWideElement(), "AXFocusedUIElement");
        if (!focused.value) return std::nullopt;
        return std::get<platform::AXElement>(*focused.value);
    }

    std::optional<std::string> fieldText() {
        const auto field = focusedField();
        if (!field) return std::nullopt;
        return std::get<std::string>(*desktop->copyAttribute(*field, "AXValue").value);
    }

private:
    static std::string flagNames(platform::EventFlags flags) {
        namespace eventflag = platform::eventflag;
        std::string names;
        const std::pair<platform::EventFlags, const char*> known[] = {{eventflag::control, "control"},
                                                                      {eventflag::option, "option"},
                                                                      {eventflag::shift, "shift"},
                                                                      {eventflag::command, "command"}};
        for (const auto& [flag, name] : known) {
            if (flags & flag) names += (names.empty() ? "" : "+") + std::string(name);
        }
        return names;
    }
};

}  // namespace zentrabo
