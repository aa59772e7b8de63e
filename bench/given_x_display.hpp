#pragma once
// The X display a bench of a real session measures: $DISPLAY.
#include <cstdio>
#include <cstdlib>

namespace zentrabo::bench {

// $DISPLAY; none, after printing that `what` was not measured, when it is
// not set.
inline const char* givenXDisplay(const char* what) {
    const char* display = std::getenv("DISPLAY");
    if (display != nullptr && *display != '\0') return display;
    std::printf("%s: not measured, no X display given (set DISPLAY)\n", what);
    return nullptr;
}

}  // namespace zentrabo::bench
