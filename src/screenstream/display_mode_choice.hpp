#pragma once
// Which display mode fits a device's pixels best, when two modes are the
// same, and how modes and targets read in the log.
#include <optional>
#include <span>
#include <string>

#include "platform/desktop/displays.hpp"

namespace zentrabo {

// A target a display mode is chosen for: both sides finite and above 1.
bool isDisplayModeTarget(double width, double height);

// The candidate closest to the target (device pixels): a mode usable for
// the desktop, at least 640 x 480 points, with at least the target's pixels.
// Point sizes are compared with the target raised to at least 640 x 480,
// pixel sizes with it too; dense modes, the current mode and the current
// refresh rate are preferred a little. Of two equal scores the mode listed
// first wins. None without a candidate.
std::optional<platform::DisplayMode> bestDisplayMode(std::span<const platform::DisplayMode> modes,
                                                     const platform::DisplayMode& current, double width, double height);

// The same mode: equal non-zero mode identifiers, or else equal sizes, I/O
// flags and refresh rates less than 0.1 Hz apart.
bool displayModesMatch(const platform::DisplayMode& a, const platform::DisplayMode& b);

// "1512x982 pt / 3024x1964 px @120.0Hz"
std::string displayModeDescription(const platform::DisplayMode& mode);

// "2556x1180": each side rounded, halves away from zero.
std::string targetSizeDescription(double width, double height);

}  // namespace zentrabo
