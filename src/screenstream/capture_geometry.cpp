#include "screenstream/capture_geometry.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo {

namespace {

bool hasPositiveSize(const platform::Rect& rect) { return rect.width > 0 && rect.height > 0; }

double mainScreenScale(platform::Displays& displays) {
    return std::max(displays.mainScreenBackingScaleFactor().value_or(1.0), 1.0);
}

// Pixels per point of a display with these bounds, at least 1; the main
// screen's factor when the bounds have no size.
double scaleOf(platform::DisplayID display, platform::Displays& displays) {
    const platform::Rect bounds = displays.bounds(display);
    if (!hasPositiveSize(bounds)) return mainScreenScale(displays);
    return std::max({static_cast<double>(displays.pixelsWide(display)) / bounds.width,
                     static_cast<double>(displays.pixelsHigh(display)) / bounds.height, 1.0});
}

}  // namespace

bool isNullOrEmpty(const platform::Rect& rect) {
    return !std::isfinite(rect.x) || !std::isfinite(rect.y) || !std::isfinite(rect.width) ||
           !std::isfinite(rect.height) || rect.width == 0 || rect.height == 0;
}

PixelSize displayPixelSize(const platform::ShareableDisplay& display, platform::Displays& displays) {
    return {std::max<std::int64_t>({display.width, displays.pixelsWide(display.displayID), 1}),
            std::max<std::int64_t>({display.height, displays.pixelsHigh(display.displayID), 1})};
}

double displayPointPixelScale(const platform::ShareableDisplay& display, platform::Displays& displays) {
    return scaleOf(display.displayID, displays);
}

PixelSize windowPixelSize(const platform::Rect& frame, double scale) {
    const double factor = std::max(scale, 1.0);
    const auto side = [factor](double points) {
        const double pixels = std::ceil(factor * points);
        // A side that is not a number counts as none; no window is this large.
        return std::isfinite(pixels) ? static_cast<std::int64_t>(std::clamp(pixels, 1.0, 1e9)) : std::int64_t{1};
    };
    return {side(frame.width), side(frame.height)};
}

std::optional<platform::DisplayID> displayID(const platform::Rect& frame, platform::Displays& displays) {
    const auto active = displays.activeDisplayIDs();
    if (!active || active->empty()) return std::nullopt;
    std::optional<platform::DisplayID> best;
    double bestArea = 0;
    for (const platform::DisplayID display : *active) {
        const platform::Rect bounds = displays.bounds(display);
        if (!hasPositiveSize(bounds)) continue;
        const double area = bounds.overlapArea(frame);
        if (area > bestArea) {
            best = display;
            bestArea = area;
        }
    }
    return best ? best : active->front();
}

double pointPixelScale(const platform::Rect& frame, platform::Displays& displays) {
    const auto display = displayID(frame, displays);
    return display ? scaleOf(*display, displays) : mainScreenScale(displays);
}

}  // namespace zentrabo
