#pragma once
#include <cmath>
#include <string>

#include "support/test_application.hpp"

namespace zentrabo::testing {

// A number of a report rounded to a whole one (places may have fractions);
// -1 when it has none.
inline long reportedWholeNumber(const TestApplicationReport& report, const char* key) {
    const auto found = report.value(key);
    const auto number = found ? found->asDouble() : std::nullopt;
    return number ? std::lround(*number) : -1;
}

// The direction of a scroll; a smooth one's from its deltas.
inline std::string reportedScrollDirection(const TestApplicationReport& report) {
    const std::string direction = report.text("direction").value_or("");
    if (direction != "smooth") return direction;
    const auto delta = [&](const char* key) { return report.value(key)->asDouble().value_or(0); };
    if (delta("deltaY") != 0) return delta("deltaY") < 0 ? "up" : "down";
    return delta("deltaX") < 0 ? "left" : "right";
}

// A report as one short line: "press a+control", "text é",
// "press 1@40,30#2", "scroll up@40,30"; empty for releases.
inline std::string inputReportSummary(const TestApplicationReport& report) {
    const std::string event = report.event();
    const auto number = [&](const char* key) { return std::to_string(reportedWholeNumber(report, key)); };
    std::string modifiers;
    const auto list = report.value("modifiers");
    if (const auto names = list ? list->asArray() : std::nullopt) {
        for (const auto& name : *names) modifiers += "+" + std::string(name.asString().value_or(""));
    }
    if (report.text("action") == "release") return {};
    if (event == "key") return "press " + report.text("keysym").value_or("") + modifiers;
    if (event == "text") return "text " + report.text("text").value_or("");
    if (event == "paste") return "paste " + report.text("text").value_or("");
    if (event == "click")
        return "press " + number("button") + "@" + number("x") + "," + number("y") + "#" + number("clickCount");
    if (event == "scroll") return "scroll " + reportedScrollDirection(report) + "@" + number("x") + "," + number("y");
    return event;
}

}  // namespace zentrabo::testing
