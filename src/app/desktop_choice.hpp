#pragma once
// Which desktop the server controls: the one asked for on the command line,
// else the GNOME Wayland session of $WAYLAND_DISPLAY, else the X11 session
// of $DISPLAY. A session the server cannot control (another Wayland one, a
// display that does not answer) stops the start rather than
// handing devices the model desktop in its place; only a machine with no
// session at all gets the virtual desktop unasked.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/command_line.hpp"
#include "platform/desktop/desktop.hpp"

namespace zentrabo {

struct ChosenDesktop {
    std::shared_ptr<platform::Desktop> desktop;
    // "X11 display :0", "GNOME Wayland (wayland-0)", "virtual (built-in
    // scenario)" or "virtual (<file>)".
    std::string description;
    // Why this desktop: "asked for with --desktop x11", ...
    std::string reason;
    // Chosen without being asked for where a user may have expected their
    // session: the start says so on standard error too.
    bool unasked = false;
    bool isVirtual = false;
    // What the start found of the desktop's interfaces, each a line for the
    // terminal, the log and status ("GNOME interfaces: ScreenCast 4, ...").
    std::vector<std::string> notes;
};

// "Desktop: <description>: <reason>", the line that records the choice.
std::string desktopChoiceLine(const ChosenDesktop& chosen);
// What status shows: the virtual desktop with why it was chosen.
std::string desktopStatusText(const ChosenDesktop& chosen);

// A desktop that cannot be controlled; the text says why.
class DesktopUnavailable : public std::runtime_error {
public:
    DesktopUnavailable(const std::string& reason, int exitStatus)
        : std::runtime_error(reason), exitStatus_(exitStatus) {}
    int exitStatus() const { return exitStatus_; }

private:
    int exitStatus_;
};

// The environment the automatic choice reads.
struct DesktopEnvironment {
    std::optional<std::string> display;         // $DISPLAY
    std::optional<std::string> waylandDisplay;  // $WAYLAND_DISPLAY
    std::optional<std::string> currentDesktop;  // $XDG_CURRENT_DESKTOP
    // The process's own environment; empty values count as unset.
    static DesktopEnvironment current();
};

// Builds the desktop. Throws DesktopUnavailable: exitUnusableInput for a
// scenario file it cannot use, a session it cannot control or an X11
// display that does not answer, exitFailure when the desktop cannot be built.
ChosenDesktop chooseDesktop(std::optional<DesktopKind> asked, const DesktopEnvironment& environment,
                            platform::Clock& clock);

}  // namespace zentrabo
