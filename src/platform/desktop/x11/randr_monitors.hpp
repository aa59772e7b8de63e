#pragma once
// The RandR 1.5 monitors of an X screen with what the displays service
// reports of them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/displays.hpp"
#include "platform/desktop/x11/x11_connection.hpp"

namespace zentrabo::platform {

struct RandrMonitor {
    // The monitor's name atom.
    DisplayID id = 0;
    Rect bounds;
    bool primary = false;
    // The output's EDID monitor name, else the output's name; a monitor
    // without an output goes by its own name.
    std::string name;
    // The first output the monitor shows; 0 for a monitor without one.
    std::uint32_t output = 0;
    DisplayMode currentMode;
    // Ordered by mode id, then flags, so equally good modes are chosen alike
    // whatever order the server lists them in.
    std::vector<DisplayMode> modes;
};

// The active monitors in the server's order; none when the server does not
// answer or has no RandR 1.5.
std::optional<std::vector<RandrMonitor>> readRandrMonitors(X11Connection& connection);

// The main monitor: the primary one, else the one at 0,0, else the first.
const RandrMonitor* mainMonitor(const std::vector<RandrMonitor>& monitors);

}  // namespace zentrabo::platform
