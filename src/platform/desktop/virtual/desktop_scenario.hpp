#pragma once
// What a virtual desktop starts with: applications with their menus and
// windows, displays, permissions, the pasteboard and the keyboard settings.
// Tests build one with the builder; the server reads one from a file, whose
// form the field tables give (docs/VIRTUAL_DESKTOP.md): a member left out
// keeps the value the record is made with.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/desktop/displays.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/running_application.hpp"
#include "platform/desktop/virtual/scenario_json_forms.hpp"
#include "platform/text/string_enum.hpp"

namespace zentrabo::platform {

// Bounds of the virtual desktop's model, which a scenario must keep too.
// Deeper accessibility trees and sheet chains are refused; walks stop here.
inline constexpr int desktopMaximumTreeDepth = 64;
// Effects that add windows stop adding at this count, so pressing an item
// again and again cannot grow the model without bound.
inline constexpr std::size_t desktopMaximumWindowsPerApplication = 256;
// Displays and their modes are at most this many pixels on a side, so a
// capture stays within 256 MiB.
inline constexpr std::int64_t desktopMaximumPixelDimension = 8192;

struct ScenarioEffect;

struct ScenarioButton {
    std::string title;
    // What pressing it does; none listed means it dismisses its sheet.
    std::vector<ScenarioEffect> effects;
    bool operator==(const ScenarioButton&) const;

    static constexpr auto jsonFields() {
        using R = ScenarioButton;
        return std::tuple{field("title", &R::title), field("effects", &R::effects, recordDefault)};
    }
};

// A modal sheet on the application's focused window, or a modal panel of its
// own when the application has no window or panel is set.
struct ScenarioSheet {
    std::optional<std::string> title;
    std::optional<std::string> message;  // shown as a static text inside it
    std::vector<ScenarioButton> buttons;
    // The title of the button the sheet names as its cancel button.
    std::optional<std::string> cancelButton;
    bool panel = false;
    bool operator==(const ScenarioSheet&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioSheet;
        return std::tuple{field("title", &R::title), field("message", &R::message),
                          field("cancelButton", &R::cancelButton), field("panel", &R::panel, recordDefault),
                          field("buttons", &R::buttons, recordDefault)};
    }
};

enum class EffectKind { openSheet, dismissSheet, activateApplication, quitApplication, openWindow, closeWindow };
template <>
struct StringEnumTraits<EffectKind>
    : RawValues<"openSheet", "dismissSheet", "activateApplication", "quitApplication", "openWindow", "closeWindow"> {};

struct ScenarioEffect {
    EffectKind kind = EffectKind::dismissSheet;
    // activateApplication: the application to bring forward (launched when
    // installed and not running). quitApplication: the one to quit, the
    // pressed element's own application when empty.
    std::string bundleIdentifier;
    std::optional<ScenarioSheet> sheet;  // openSheet
    std::string windowTitle;             // openWindow, closeWindow (empty: the front window)
    double delay = 0;                    // seconds after the press
    bool operator==(const ScenarioEffect&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioEffect;
        return std::tuple{field("kind", &R::kind).as<NameForm>(),
                          field("bundleIdentifier", &R::bundleIdentifier, recordDefault),
                          field("windowTitle", &R::windowTitle, recordDefault),
                          field("delay", &R::delay, recordDefault), field("sheet", &R::sheet)};
    }
};

struct ScenarioMenuItem {
    // An item without a title and without children is a separator.
    std::string title;
    bool enabled = true;
    // Modifier words and the key joined by "+": "cmd+shift+S", "control+F2".
    std::optional<std::string> shortcut;
    std::vector<ScenarioMenuItem> children;  // a submenu
    std::vector<ScenarioEffect> effects;

    ScenarioMenuItem disabled() &&;
    ScenarioMenuItem then(ScenarioEffect effect) &&;
    bool operator==(const ScenarioMenuItem&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioMenuItem;
        return std::tuple{field("title", &R::title, recordDefault), field("enabled", &R::enabled, recordDefault),
                          field("shortcut", &R::shortcut), field("items", &R::children, recordDefault),
                          field("effects", &R::effects, recordDefault)};
    }
};

ScenarioMenuItem menuItem(std::string title, std::optional<std::string> shortcut = std::nullopt);
ScenarioMenuItem submenu(std::string title, std::vector<ScenarioMenuItem> children);
ScenarioMenuItem separator();
ScenarioEffect opensSheet(ScenarioSheet sheet, double delay = 0);
ScenarioEffect dismissesSheet();
ScenarioEffect activatesApplication(std::string bundleIdentifier, double delay = 0);
ScenarioEffect quitsApplication(std::string bundleIdentifier = {});
ScenarioEffect opensWindow(std::string title);
ScenarioEffect closesWindow(std::string title = {});

struct ScenarioWindow {
    std::string title;
    Rect frame;
    bool minimized = false;
    // A focused text field holding this text, when set.
    std::optional<std::string> text;
    std::uint32_t color = 0xF2F2F2FF;  // RGBA, what captures show
    // The smallest size the window takes; the desktop's own minimum when none.
    std::optional<Size> minimumSize;
    // False: the window refuses every new size. Resizable when absent.
    std::optional<bool> resizable;
    bool operator==(const ScenarioWindow&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioWindow;
        return std::tuple{field("title", &R::title, recordDefault),
                          field("frame", &R::frame),
                          field("minimized", &R::minimized, recordDefault),
                          field("text", &R::text),
                          field("color", &R::color, recordDefault).as<ColourForm>(),
                          field("minimumSize", &R::minimumSize),
                          field("resizable", &R::resizable)};
    }
};

// A steady sine tone that a running application plays; captures with audio
// hear it.
struct ScenarioTone {
    double frequency = 440;  // hertz
    double level = 0.25;     // peak amplitude, 1 is full scale
    // 1: it sounds in the first (left) channel alone; 2: in both.
    std::uint32_t channelCount = 2;
    bool operator==(const ScenarioTone&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioTone;
        return std::tuple{field("frequency", &R::frequency, recordDefault), field("level", &R::level, recordDefault),
                          field("channelCount", &R::channelCount, recordDefault)};
    }
};

enum class ApplicationFolder { system, user };
template <>
struct StringEnumTraits<ApplicationFolder> : RawValues<"system", "user"> {};

struct ScenarioApplication {
    std::string name;
    std::string bundleIdentifier;
    std::optional<std::string> displayName;  // the bundle's display name, when it differs
    ActivationPolicy activationPolicy = ActivationPolicy::regular;
    bool running = true;
    bool installed = true;
    ApplicationFolder folder = ApplicationFolder::system;
    std::string subfolder;  // inside the application folder, "" for none
    bool hidden = false;
    // An unresponsive application answers accessibility calls only with
    // cannotComplete, after the messaging timeout.
    bool responsive = true;
    bool acceptsTerminate = true;
    double launchDelay = 0.4;      // seconds from the open request to running
    double terminateDelay = 0.25;  // seconds from an accepted terminate to gone
    // Seconds from a forced terminate to gone; a process stuck in the
    // system can outlast it by far.
    double forceTerminateDelay = 0.05;
    // Set in code only (no scenario key): every launch of it fails with this
    // text and nothing starts.
    std::optional<std::string> launchFailure;
    std::uint32_t iconColor = 0x3478F6FF;
    // An absolute path to a picture file (PNG, JPEG, TIFF or .icns) used as
    // the icon instead of iconColor.
    std::optional<std::string> icon;
    std::optional<ScenarioTone> tone;     // what it plays while it runs
    std::vector<ScenarioMenuItem> menus;  // the menu bar, left to right
    std::vector<ScenarioWindow> windows;  // front to back
    bool operator==(const ScenarioApplication&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioApplication;
        return std::tuple{field("name", &R::name),
                          field("bundleIdentifier", &R::bundleIdentifier),
                          field("displayName", &R::displayName),
                          field("activationPolicy", &R::activationPolicy, recordDefault).as<NameForm>(),
                          field("running", &R::running, recordDefault),
                          field("installed", &R::installed, recordDefault),
                          field("folder", &R::folder, recordDefault).as<NameForm>(),
                          field("subfolder", &R::subfolder, recordDefault),
                          field("hidden", &R::hidden, recordDefault),
                          field("responsive", &R::responsive, recordDefault),
                          field("acceptsTerminate", &R::acceptsTerminate, recordDefault),
                          field("launchDelay", &R::launchDelay, recordDefault),
                          field("terminateDelay", &R::terminateDelay, recordDefault),
                          field("forceTerminateDelay", &R::forceTerminateDelay, recordDefault),
                          field("iconColor", &R::iconColor, recordDefault).as<ColourForm>(),
                          field("icon", &R::icon),
                          field("tone", &R::tone),
                          field("menus", &R::menus, recordDefault),
                          field("windows", &R::windows, recordDefault)};
    }
};

struct ScenarioDisplay {
    DisplayID id = 1;
    std::optional<std::string> name;
    Rect bounds;       // global points; the main display's starts at 0, 0
    double scale = 1;  // pixels per point
    double refreshRate = 60;
    std::uint32_t background = 0x1E3A5FFF;
    // The desktop picture: an absolute path to a PNG, JPEG, TIFF or .icns file shown
    // stretched over the display instead of the flat background.
    std::optional<std::string> picture;
    // Extra modes offered besides the one bounds and scale describe.
    std::vector<DisplayMode> modes;
    bool operator==(const ScenarioDisplay&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioDisplay;
        return std::tuple{field("id", &R::id),
                          field("name", &R::name),
                          field("bounds", &R::bounds),
                          field("scale", &R::scale, recordDefault),
                          field("refreshRate", &R::refreshRate, recordDefault),
                          field("background", &R::background, recordDefault).as<ColourForm>(),
                          field("picture", &R::picture),
                          field("modes", &R::modes, recordDefault)};
    }
};

struct ScenarioInputSource {
    std::string name;        // "KeyboardLayout Name"
    std::string identifier;  // "InputSource ID"
    bool operator==(const ScenarioInputSource&) const = default;

    static constexpr auto jsonFields() {
        return std::tuple{field("name", &ScenarioInputSource::name),
                          field("identifier", &ScenarioInputSource::identifier)};
    }
};

struct ScenarioPermissions {
    bool accessibility = true;  // the process is trusted for the accessibility interface
    bool screenRecording = true;
    bool operator==(const ScenarioPermissions&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioPermissions;
        return std::tuple{field("accessibility", &R::accessibility, recordDefault),
                          field("screenRecording", &R::screenRecording, recordDefault)};
    }
};

// The text-input preferences.
struct ScenarioKeyboard {
    std::optional<std::string> currentLayout;  // input source id
    std::vector<ScenarioInputSource> inputSources;
    bool operator==(const ScenarioKeyboard&) const = default;

    static constexpr auto jsonFields() {
        using R = ScenarioKeyboard;
        return std::tuple{field("currentLayout", &R::currentLayout),
                          field("inputSources", &R::inputSources, recordDefault)};
    }
};

struct DesktopScenario {
    std::vector<ScenarioApplication> applications;
    std::vector<ScenarioDisplay> displays;  // the first is the main display
    std::optional<std::string> frontmost;   // bundle identifier; else the first running regular one
    ScenarioPermissions permissions;
    std::optional<std::string> pasteboardText;
    ScenarioKeyboard keyboard;
    bool operator==(const DesktopScenario&) const = default;

    static constexpr auto jsonFields() {
        using R = DesktopScenario;
        return std::tuple{field("displays", &R::displays, recordDefault),
                          field("applications", &R::applications, recordDefault),
                          field("frontmost", &R::frontmost),
                          field("pasteboardText", &R::pasteboardText),
                          field("permissions", &R::permissions, recordDefault),
                          field("keyboard", &R::keyboard, recordDefault)};
    }
};

}  // namespace zentrabo::platform

namespace zentrabo::platform {
// Written out: clang 14 (the fuzz build's compiler) crashes defaulting it,
// because a button's effects hold sheets that hold buttons again.
inline bool ScenarioButton::operator==(const ScenarioButton& other) const {
    return title == other.title && effects == other.effects;
}
}  // namespace zentrabo::platform
