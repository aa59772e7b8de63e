#pragma once

#include <algorithm>

namespace zentrabo {

// Waits between attempts to reach the relay: 1, 2, 4 ... seconds, at most 60,
// so a relay that is down is not hammered and one that returns is found soon.
class RelayBackoff {
public:
    static constexpr double firstDelay = 1.0;
    static constexpr double longestDelay = 60.0;
    // A connection that stayed up this long was a success: start again at the
    // first delay. A shorter one (a relay that takes our registration and drops
    // us at once) keeps growing the wait.
    static constexpr double stableConnection = 60.0;

    double nextDelay() {
        const double delay = delay_;
        delay_ = std::min(delay_ * 2, longestDelay);
        return delay;
    }

    void reset() { delay_ = firstDelay; }

private:
    double delay_ = firstDelay;
};

}  // namespace zentrabo
