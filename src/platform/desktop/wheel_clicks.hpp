#pragma once
// Scroll events as the wheel clicks a desktop without smooth scrolling
// takes: a pixel scroll becomes one click for every pixelsPerClick, the
// remainder kept for the next scroll. Positive clicks scroll up and left,
// as a wheel turned away does.
#include <cstdint>

#include "platform/desktop/event_poster.hpp"

namespace zentrabo::platform {

class WheelClicks {
public:
    static constexpr double pixelsPerClick = 40;
    // The most clicks one event turns into, on each axis.
    static constexpr std::int32_t maximumClicks = 100;

    struct Clicks {
        std::int32_t vertical = 0;
        std::int32_t horizontal = 0;
    };
    Clicks of(const ScrollEvent& event);

private:
    double pixelsY_ = 0;
    double pixelsX_ = 0;
};

}  // namespace zentrabo::platform
