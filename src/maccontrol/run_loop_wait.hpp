#pragma once
// Waiting on the calling thread the way the desktop expects: test the
// condition, and while it fails before the deadline turn the run loop once
// for one step, so the desktop's own events (an application appearing or
// leaving) keep happening while the caller waits.
#include "platform/dispatch/clock.hpp"

namespace zentrabo {

// How long a poll may wait at most, and the run-loop turn between two tests
// of its condition, in seconds.
struct PollLimits {
    double timeout;
    double step;
};

// True as soon as condition() holds before the deadline (now + timeout);
// false once the deadline has passed without it. The condition is tested
// before every step, so a condition that already holds costs no wait.
template <class Condition>
bool pollUntil(platform::Clock& clock, PollLimits limits, Condition&& condition) {
    const double deadline = clock.monotonicNow() + limits.timeout;
    while (clock.monotonicNow() < deadline) {
        if (condition()) return true;
        clock.runLoopTurn(limits.step);
    }
    return false;
}

// Turns the run loop until seconds have passed.
inline void runLoopFor(platform::Clock& clock, double seconds) {
    const double deadline = clock.monotonicNow() + seconds;
    for (double now = clock.monotonicNow(); now < deadline; now = clock.monotonicNow()) {
        clock.runLoopTurn(deadline - now);
    }
}

}  // namespace zentrabo
