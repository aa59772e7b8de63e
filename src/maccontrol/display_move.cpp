// Moving an application's windows onto one display.
#include <algorithm>
#include <cmath>
#include <string>

#include "maccontrol/desktop_controller.hpp"
#include "model/diagnostic_log.hpp"
#include "platform/text/log_escape.hpp"

namespace zentrabo {

using platform::Point;
using platform::Rect;

namespace {

// The top-left corner that centres a length on the range [low, high], kept
// inside it; a length larger than the range starts at low.
double centredStart(double low, double high, double length) {
    const double centred = (low + high) / 2 - length * 0.5;
    return std::min(std::max(centred, low), std::max(low, high - length));
}

}  // namespace

void DesktopController::moveApplication(platform::RunningApplication& application, platform::DisplayID displayID) {
    auto& accessibility = desktop_.accessibility();
    if (!accessibility.isProcessTrusted()) return;
    auto& displays = desktop_.displays();
    const platform::DisplayID target = displayID == 0 ? displays.mainDisplayID() : displayID;
    const Rect screen = displays.bounds(target).standardized();
    if (!(screen.width > 0) || !(screen.height > 0)) return;

    for (const auto& window : shownWindows(application)) {
        if (!window.frame || !(window.frame->width > 0) || !(window.frame->height > 0)) continue;
        const Rect& frame = *window.frame;
        if (screen.contains(Point{frame.midX(), frame.midY()})) continue;

        const Point destination{centredStart(screen.minX(), screen.maxX(), frame.width),
                                centredStart(screen.minY(), screen.maxY(), frame.height)};
        // A point that is not finite cannot be handed over at all.
        const platform::AXError error = std::isfinite(destination.x) && std::isfinite(destination.y)
                                            ? accessibility.setWindowPosition(window.handle, destination)
                                            : platform::axerror::illegalArgument;
        if (error != platform::axerror::success) {
            const std::string name =
                application.localizedName().value_or(application.bundleIdentifier().value_or("app"));
            ZENTRABO_LOG("Activate app display move failed for " + platform::escapeForLog(name) + ": " +
                         std::to_string(error));
        }
    }
}

}  // namespace zentrabo
