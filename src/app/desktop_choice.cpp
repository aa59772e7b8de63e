#include "app/desktop_choice.hpp"

#include <cstdlib>
#include <string_view>

#include "platform/desktop/gnome/gnome_bus.hpp"
#include "platform/desktop/gnome/gnome_desktop.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"
#include "platform/desktop/x11/x11_connection.hpp"
#include "platform/desktop/x11/x11_desktop.hpp"
#include "platform/dispatch/thread_name.hpp"

namespace zentrabo {

namespace {

constexpr std::string_view x11ThreadName = "zb-x11";
constexpr std::string_view gnomeThreadName = "zb-gnome";

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

ChosenDesktop virtualDesktop(platform::Clock& clock, std::string reason) {
    try {
        const auto file = platform::desktopScenarioFile();
        auto desktop = platform::VirtualDesktop::create(platform::loadDesktopScenario(), clock);
        return {std::move(desktop),
                "virtual (" + (file ? file->string() : std::string("built-in scenario")) + ")",
                std::move(reason),
                false,
                true,
                {}};
    } catch (const platform::ScenarioError& error) {
        // The message names the file and the fault.
        throw DesktopUnavailable(std::string("unusable desktop scenario: ") + error.what(), exitUnusableInput);
    } catch (const std::exception& error) {
        throw DesktopUnavailable(std::string("the desktop could not be built: ") + error.what(), exitFailure);
    }
}

// The session of the display; a display that does not answer is refused
// with the given prefix and hint around the connection's own reason.
ChosenDesktop x11Desktop(const std::string& display, platform::Clock& clock, std::string reason,
                         const std::string& refusalPrefix, const std::string& refusalHint) {
    // The threads the backend starts while it opens (its event thread, its
    // accessibility thread, the bounded connect attempt) take this name.
    const platform::ScopedThreadName backendThreads(x11ThreadName);
    try {
        return {platform::X11Desktop::create(display, clock),
                "X11 display " + display,
                std::move(reason),
                false,
                false,
                {}};
    } catch (const platform::X11Error& error) {
        throw DesktopUnavailable(refusalPrefix + error.what() + refusalHint, exitUnusableInput);
    }
}

// Whether $XDG_CURRENT_DESKTOP, a colon-separated list, names GNOME.
bool namesGnome(const std::optional<std::string>& currentDesktop) {
    if (!currentDesktop) return false;
    std::string_view rest = *currentDesktop;
    while (!rest.empty()) {
        const auto end = rest.find(':');
        if (rest.substr(0, end) == "GNOME") return true;
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return false;
}

ChosenDesktop gnomeDesktop(const std::string& waylandDisplay, platform::Clock& clock, std::string reason,
                           const std::string& refusalPrefix) {
    // The threads the backend starts (the bus thread) take this name.
    const platform::ScopedThreadName backendThreads(gnomeThreadName);
    try {
        auto desktop = platform::GnomeDesktop::create(waylandDisplay, clock);
        std::vector<std::string> notes{"GNOME interfaces: " + desktop->interfacesText()};
        if (auto problem = desktop->extensionProblem()) notes.push_back(std::move(*problem));
        ChosenDesktop chosen{
            std::move(desktop), "GNOME Wayland (" + waylandDisplay + ")", std::move(reason), false, false,
            std::move(notes)};
        return chosen;
    } catch (const platform::GnomeBusError& error) {
        throw DesktopUnavailable(refusalPrefix + error.what(), exitUnusableInput);
    }
}

}  // namespace

std::string desktopChoiceLine(const ChosenDesktop& chosen) {
    return "Desktop: " + chosen.description + ": " + chosen.reason;
}

std::string desktopStatusText(const ChosenDesktop& chosen) {
    std::string text = chosen.isVirtual ? chosen.description + ": " + chosen.reason : chosen.description;
    for (const auto& note : chosen.notes) text += "; " + note;
    return text;
}

DesktopEnvironment DesktopEnvironment::current() {
    return {variable("DISPLAY"), variable("WAYLAND_DISPLAY"), variable("XDG_CURRENT_DESKTOP")};
}

ChosenDesktop chooseDesktop(std::optional<DesktopKind> asked, const DesktopEnvironment& environment,
                            platform::Clock& clock) {
    if (asked == DesktopKind::virtualDesktop) return virtualDesktop(clock, "asked for with --desktop virtual");
    if (asked == DesktopKind::x11) {
        if (!environment.display) throw DesktopUnavailable("--desktop x11: $DISPLAY is not set", exitUnusableInput);
        return x11Desktop(*environment.display, clock, "asked for with --desktop x11", "--desktop x11: ", "");
    }
    if (asked == DesktopKind::gnomeWayland) {
        if (!environment.waylandDisplay) {
            throw DesktopUnavailable("--desktop gnome-wayland: $WAYLAND_DISPLAY is not set", exitUnusableInput);
        }
        return gnomeDesktop(*environment.waylandDisplay, clock, "asked for with --desktop gnome-wayland",
                            "--desktop gnome-wayland: ");
    }
    if (environment.waylandDisplay && namesGnome(environment.currentDesktop)) {
        return gnomeDesktop(*environment.waylandDisplay, clock, "the GNOME session of $WAYLAND_DISPLAY",
                            "GNOME Wayland session: ");
    }
    if (environment.waylandDisplay) {
        throw DesktopUnavailable("Wayland session (" + environment.currentDesktop.value_or("unknown desktop") +
                                     ") is not supported yet: log in to an X11 session, or start with --desktop x11 "
                                     "to control its XWayland windows only, or --desktop virtual for the model "
                                     "desktop",
                                 exitUnusableInput);
    }
    if (environment.display) {
        return x11Desktop(*environment.display, clock, "the session of $DISPLAY",
                          "$DISPLAY: ", "; start with --desktop virtual for the model desktop");
    }
    auto chosen = virtualDesktop(
        clock, "no desktop session here (DISPLAY and WAYLAND_DISPLAY are unset); devices see the model desktop");
    chosen.unasked = true;
    return chosen;
}

}  // namespace zentrabo
