#pragma once
// What every desktop does the same way with its window list: which windows
// the list options select, and the entry one window makes.
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/geometry.hpp"
#include "platform/desktop/running_application.hpp"
#include "platform/desktop/window_server.hpp"

namespace zentrabo::platform {

// One window of a front-to-back list, as the options look at it.
struct WindowListPlace {
    WindowID number = 0;
    bool onScreen = false;
    // The desktop picture or a dock: left out with excludeDesktopElements.
    bool isDesktopElement = false;
};

// For each window of the front-to-back list, whether the options (relative to
// relativeToWindow where they need one) select it.
std::vector<bool> windowListSelection(const std::vector<WindowListPlace>& frontToBack, std::uint32_t options,
                                      WindowID relativeToWindow);

// What a window list entry says of one window.
struct WindowListFacts {
    WindowID number = 0;
    ProcessID owner = 0;
    std::string ownerName;
    // Left out of the entry when none.
    std::optional<std::string> title;
    std::int64_t layer = 0;
    double alpha = 1;
    Rect frame;
    bool onScreen = false;
};

WindowListEntry windowListEntry(const WindowListFacts& facts);

}  // namespace zentrabo::platform
