#pragma once
// Which desktop the server controls: the one asked for on the command line,
// else the X11 session of $DISPLAY when it answers and no Wayland session
// runs, else the virtual desktop.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "app/command_line.hpp"
#include "platform/desktop/desktop.hpp"

namespace zentrabo {

struct ChosenDesktop {
    std::shared_ptr<platform::Desktop> desktop;
    // "X11 display :0", "virtual (built-in scenario)" or "virtual (<file>)".
    std::string description;
    // A line to show before the start line; none when all went as asked.
    std::optional<std::string> notice;
};

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
    // The process's own environment; empty values count as unset.
    static DesktopEnvironment current();
};

// Builds the desktop. Throws DesktopUnavailable: exitUnusableInput for a
// scenario file it cannot use or an X11 display asked for that does not
// answer, exitFailure when the desktop cannot be built.
ChosenDesktop chooseDesktop(std::optional<DesktopKind> asked, const DesktopEnvironment& environment,
                            platform::Clock& clock);

}  // namespace zentrabo
