#pragma once
// A window as the accessibility bus describes it: its process, its frame on
// the screen and its title, but not the window system's own id for it.
#include <string>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

struct AccessibleWindow {
    ProcessID pid = 0;
    Rect frame;
    std::string title;
};

}  // namespace zentrabo::platform
