#include "platform/desktop/x11/accessible_window_match.hpp"

#include <cmath>
#include <tuple>

namespace zentrabo::platform {
namespace {

// How far apart two frames are: zero for the same place and size.
double distance(const Rect& a, const Rect& b) {
    return std::fabs(a.x - b.x) + std::fabs(a.y - b.y) + std::fabs(a.width - b.width) + std::fabs(a.height - b.height);
}

}  // namespace

std::optional<xcb_window_t> matchingClientWindow(const std::vector<ManagedWindow>& windows,
                                                 const AccessibleWindow& accessible) {
    std::optional<xcb_window_t> best;
    // Smaller is better: the distance, then a differing title.
    std::tuple<double, bool> bestScore;
    for (const auto& window : windows) {
        if (window.pid != accessible.pid || window.pid <= 0) continue;
        const double apart = distance(window.frame, accessible.frame);
        if (apart > 0 && window.frame.overlapArea(accessible.frame) <= 0) continue;
        const std::tuple<double, bool> score{apart, window.title.value_or("") != accessible.title};
        // The first of equals wins: the frontmost.
        if (!best || score < bestScore) {
            best = window.id;
            bestScore = score;
        }
    }
    return best;
}

}  // namespace zentrabo::platform
