#pragma once
// A window as the accessibility bus describes it: its process, its frame on
// the screen and its title, but not the window system's own id for it; and
// one of an application's windows as the bus lists it.
#include <optional>
#include <string>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

struct AccessibleWindow {
    ProcessID pid = 0;
    Rect frame;
    std::string title;
};

// One of an application's windows as the bus lists it: its element, what
// is read of it (none when that failed) and its states.
struct ListedAccessibleWindow {
    AXElement element;
    std::optional<AccessibleWindow> window;
    bool minimized = false;
    bool active = false;

    // What the bus alone tells of it: no number, and no frame, whose place
    // depends on the window system.
    ApplicationWindow described() const {
        return {element, std::nullopt, window ? window->title : std::string(), std::nullopt, minimized, active};
    }
};

}  // namespace zentrabo::platform
