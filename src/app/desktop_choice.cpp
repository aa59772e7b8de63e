#include "app/desktop_choice.hpp"

#include <cstdlib>
#include <string_view>

#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/thread_name.hpp"

namespace zentrabo {

namespace {

constexpr std::string_view x11ThreadName = "zb-x11";

const std::string waylandNotice =
    "Wayland sessions are not supported; controlling the virtual desktop (use --desktop x11 to control XWayland "
    "windows only)";

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

ChosenDesktop virtualDesktop(platform::Clock& clock) {
    try {
        const auto file = platform::desktopScenarioFile();
        auto desktop = platform::VirtualDesktop::create(platform::loadDesktopScenario(), clock);
        return {std::move(desktop), "virtual (" + (file ? file->string() : std::string("built-in scenario")) + ")",
                std::nullopt};
    } catch (const platform::ScenarioError& error) {
        // The message names the file and the fault.
        throw DesktopUnavailable(std::string("unusable desktop scenario: ") + error.what(), exitUnusableInput);
    } catch (const std::exception& error) {
        throw DesktopUnavailable(std::string("the desktop could not be built: ") + error.what(), exitFailure);
    }
}

ChosenDesktop x11Desktop(const std::string& display, platform::Clock& clock) {
    // The threads the backend starts while it opens (its event thread, its
    // accessibility thread, the bounded connect attempt) take this name.
    const platform::ScopedThreadName backendThreads(x11ThreadName);
    return {platform::X11Desktop::create(display, clock), "X11 display " + display, std::nullopt};
}

}  // namespace

DesktopEnvironment DesktopEnvironment::current() { return {variable("DISPLAY"), variable("WAYLAND_DISPLAY")}; }

ChosenDesktop chooseDesktop(std::optional<DesktopKind> asked, const DesktopEnvironment& environment,
                            platform::Clock& clock) {
    if (asked == DesktopKind::virtualDesktop) return virtualDesktop(clock);
    if (asked == DesktopKind::x11) {
        if (!environment.display) throw DesktopUnavailable("--desktop x11: $DISPLAY is not set", exitUnusableInput);
        try {
            return x11Desktop(*environment.display, clock);
        } catch (const platform::X11Error& error) {
            throw DesktopUnavailable(std::string("--desktop x11: ") + error.what(), exitUnusableInput);
        }
    }
    if (environment.waylandDisplay) {
        auto chosen = virtualDesktop(clock);
        chosen.notice = waylandNotice;
        return chosen;
    }
    if (environment.display) {
        try {
            return x11Desktop(*environment.display, clock);
        } catch (const platform::X11Error&) {
            // A display that does not answer is no session to control.
        }
    }
    return virtualDesktop(clock);
}

}  // namespace zentrabo
