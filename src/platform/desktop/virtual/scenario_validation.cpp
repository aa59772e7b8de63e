#include "platform/desktop/virtual/scenario_validation.hpp"

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zentrabo::platform {

namespace {

// A scenario is a local file, but a faulty or hostile one must not make the
// desktop unbounded.
constexpr std::size_t maximumApplications = 256;
constexpr std::size_t maximumDisplays = 16;
constexpr std::size_t maximumMenuItems = 65536;
constexpr double maximumDelaySeconds = 3600;
constexpr double maximumCoordinate = 1e6;
// The audible range.
constexpr double minimumToneFrequency = 20;
constexpr double maximumToneFrequency = 20000;

class Checker {
public:
    void fail(const std::string& where, const std::string& fault) const { throw ScenarioError(where + ": " + fault); }

    void finite(const std::string& where, double value, double low, double high) const {
        if (!std::isfinite(value) || value < low || value > high) fail(where, "out of range");
    }

    void rect(const std::string& where, const Rect& r, bool positive) const {
        for (double v : {r.x, r.y}) finite(where, v, -maximumCoordinate, maximumCoordinate);
        for (double v : {r.width, r.height}) finite(where, v, positive ? 1 : 0, maximumCoordinate);
    }

    // A single folder or file name: no separators, nothing that leaves the folder.
    void fileName(const std::string& where, const std::string& name) const {
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
            name.find('\0') != std::string::npos) {
            fail(where, "not usable as a file name");
        }
    }

    void effect(const std::string& where, const ScenarioEffect& effect, int depth) {
        finite(where + ".delay", effect.delay, 0, maximumDelaySeconds);
        if (effect.kind == EffectKind::openSheet) {
            if (!effect.sheet) fail(where, "openSheet needs a sheet");
            sheet(where + ".sheet", *effect.sheet, depth + 1);
        }
        if (effect.kind == EffectKind::activateApplication && effect.bundleIdentifier.empty()) {
            fail(where, "activateApplication needs a bundleIdentifier");
        }
    }

    void sheet(const std::string& where, const ScenarioSheet& sheet, int depth) {
        if (depth > desktopMaximumTreeDepth) fail(where, "sheets nested deeper than 64 levels");
        for (std::size_t i = 0; i < sheet.buttons.size(); ++i) {
            const auto place = where + ".buttons[" + std::to_string(i) + "]";
            count(place);
            for (std::size_t e = 0; e < sheet.buttons[i].effects.size(); ++e) {
                effect(place + ".effects[" + std::to_string(e) + "]", sheet.buttons[i].effects[e], depth);
            }
        }
        if (sheet.cancelButton) {
            bool found = false;
            for (const auto& button : sheet.buttons) found = found || button.title == *sheet.cancelButton;
            if (!found) fail(where + ".cancelButton", "names no button of the sheet");
        }
    }

    void menuItem(const std::string& where, const ScenarioMenuItem& item, int depth) {
        if (depth > desktopMaximumTreeDepth) fail(where, "menus nested deeper than 64 levels");
        count(where);
        if (item.shortcut && !parseMenuShortcut(*item.shortcut)) fail(where + ".shortcut", "not a shortcut");
        for (std::size_t e = 0; e < item.effects.size(); ++e) {
            effect(where + ".effects[" + std::to_string(e) + "]", item.effects[e], 0);
        }
        for (std::size_t i = 0; i < item.children.size(); ++i) {
            menuItem(where + ".items[" + std::to_string(i) + "]", item.children[i], depth + 1);
        }
    }

private:
    void count(const std::string& where) {
        if (++items_ > maximumMenuItems) fail(where, "more than 65536 menu items and buttons");
    }

    std::size_t items_ = 0;
};

}  // namespace

std::optional<MenuShortcut> parseMenuShortcut(std::string_view text) {
    std::vector<std::string_view> words;
    while (true) {
        const auto plus = text.find('+');
        if (plus == std::string_view::npos) break;
        words.push_back(text.substr(0, plus));
        text.remove_prefix(plus + 1);
    }
    std::string_view key = text;
    // "cmd++" names the plus key: its last piece is empty and the one before too.
    if (key.empty() && !words.empty() && words.back().empty()) {
        words.pop_back();
        key = "+";
    }
    if (key.empty()) return std::nullopt;
    MenuShortcut shortcut{std::string(key), 8};
    for (auto word : words) {
        if (word == "cmd" || word == "command") {
            shortcut.modifiers &= ~std::int64_t{8};
        } else if (word == "shift") {
            shortcut.modifiers |= 1;
        } else if (word == "option" || word == "alt") {
            shortcut.modifiers |= 2;
        } else if (word == "control" || word == "ctrl") {
            shortcut.modifiers |= 4;
        } else {
            return std::nullopt;
        }
    }
    return shortcut;
}

void validateScenario(const DesktopScenario& scenario) {
    Checker check;
    if (scenario.displays.empty()) check.fail("displays", "at least one display is needed");
    if (scenario.displays.size() > maximumDisplays) check.fail("displays", "more than 16 displays");
    std::set<DisplayID> displayIDs;
    for (std::size_t i = 0; i < scenario.displays.size(); ++i) {
        const auto& display = scenario.displays[i];
        const auto where = "displays[" + std::to_string(i) + "]";
        if (display.id == 0) check.fail(where + ".id", "0 is not a display id");
        if (!displayIDs.insert(display.id).second) check.fail(where + ".id", "used twice");
        check.rect(where + ".bounds", display.bounds, true);
        check.finite(where + ".scale", display.scale, 0.25, 8);
        for (double points : {display.bounds.width, display.bounds.height}) {
            const auto pixels = static_cast<std::int64_t>(points * display.scale);
            if (pixels < 1 || pixels > desktopMaximumPixelDimension) {
                check.fail(where + ".bounds", "must come to 1 to 8192 pixels a side at its scale");
            }
        }
        check.finite(where + ".refreshRate", display.refreshRate, 0, 1000);
        if (display.picture && !std::filesystem::path(*display.picture).is_absolute()) {
            check.fail(where + ".picture", "must be an absolute path");
        }
        for (std::size_t m = 0; m < display.modes.size(); ++m) {
            const auto& mode = display.modes[m];
            const auto place = where + ".modes[" + std::to_string(m) + "]";
            for (auto v : {mode.width, mode.height, mode.pixelWidth, mode.pixelHeight}) {
                if (v < 1 || v > desktopMaximumPixelDimension) check.fail(place, "sizes must be 1 to 8192");
            }
            check.finite(place + ".refreshRate", mode.refreshRate, 0, 1000);
        }
    }
    if (scenario.displays[0].bounds.x != 0 || scenario.displays[0].bounds.y != 0) {
        check.fail("displays[0].bounds", "the main display starts at 0, 0");
    }

    if (scenario.applications.size() > maximumApplications) check.fail("applications", "more than 256 applications");
    std::set<std::string> bundlePaths;
    for (std::size_t i = 0; i < scenario.applications.size(); ++i) {
        const auto& application = scenario.applications[i];
        const auto where = "applications[" + std::to_string(i) + "]";
        check.fileName(where + ".name", application.name + ".app");
        if (application.bundleIdentifier.empty()) check.fail(where + ".bundleIdentifier", "must not be empty");
        check.finite(where + ".launchDelay", application.launchDelay, 0, maximumDelaySeconds);
        check.finite(where + ".terminateDelay", application.terminateDelay, 0, maximumDelaySeconds);
        check.finite(where + ".forceTerminateDelay", application.forceTerminateDelay, 0, maximumDelaySeconds);
        if (!application.subfolder.empty()) {
            std::string_view rest = application.subfolder;
            while (!rest.empty()) {
                const auto slash = rest.find('/');
                check.fileName(where + ".subfolder", std::string(rest.substr(0, slash)));
                rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
            }
        }
        if (application.installed) {
            const auto path =
                std::string(rawValue(application.folder)) + "/" + application.subfolder + "/" + application.name;
            if (!bundlePaths.insert(path).second)
                check.fail(where, "installed at the same place as another application");
        }
        if (application.icon && !std::filesystem::path(*application.icon).is_absolute()) {
            check.fail(where + ".icon", "must be an absolute path");
        }
        if (application.tone) {
            check.finite(where + ".tone.frequency", application.tone->frequency, minimumToneFrequency,
                         maximumToneFrequency);
            check.finite(where + ".tone.level", application.tone->level, 0, 1);
            if (application.tone->channelCount < 1 || application.tone->channelCount > 2) {
                check.fail(where + ".tone.channelCount", "must be 1 or 2");
            }
        }
        if (application.windows.size() > desktopMaximumWindowsPerApplication)
            check.fail(where + ".windows", "more than 256 windows");
        for (std::size_t w = 0; w < application.windows.size(); ++w) {
            const auto place = where + ".windows[" + std::to_string(w) + "]";
            check.rect(place + ".frame", application.windows[w].frame, false);
            if (const auto& minimum = application.windows[w].minimumSize) {
                check.rect(place + ".minimumSize", {0, 0, minimum->width, minimum->height}, false);
            }
        }
        for (std::size_t m = 0; m < application.menus.size(); ++m) {
            check.menuItem(where + ".menus[" + std::to_string(m) + "]", application.menus[m], 1);
        }
    }
    if (scenario.frontmost) {
        bool found = false;
        for (const auto& application : scenario.applications) {
            found = found || (application.running && application.bundleIdentifier == *scenario.frontmost);
        }
        if (!found) check.fail("frontmost", "names no running application");
    }
}

}  // namespace zentrabo::platform
