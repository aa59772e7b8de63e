#include "platform/desktop/wheel_clicks.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo::platform {

WheelClicks::Clicks WheelClicks::of(const ScrollEvent& event) {
    Clicks clicks{event.deltaY, event.deltaX};
    if (event.unit == ScrollUnit::pixel) {
        pixelsY_ += event.deltaY / pixelsPerClick;
        pixelsX_ += event.deltaX / pixelsPerClick;
        clicks = {static_cast<std::int32_t>(std::trunc(pixelsY_)), static_cast<std::int32_t>(std::trunc(pixelsX_))};
        pixelsY_ -= clicks.vertical;
        pixelsX_ -= clicks.horizontal;
    }
    clicks.vertical = std::clamp(clicks.vertical, -maximumClicks, maximumClicks);
    clicks.horizontal = std::clamp(clicks.horizontal, -maximumClicks, maximumClicks);
    return clicks;
}

}  // namespace zentrabo::platform
