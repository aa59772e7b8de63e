#include "screenstream/display_mode_choice.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zentrabo {

namespace {

// The smallest mode a desktop is switched to, in points.
constexpr double minimumModeWidth = 640;
constexpr double minimumModeHeight = 480;

// Weights of the score's terms: size, aspect, pixels, shortfall and
// refresh penalise; dense modes and the current one earn a small bonus.
constexpr double sizeWeight = 1000;
constexpr double aspectWeight = 700;
constexpr double pixelsWeight = 250;
constexpr double shortfallWeight = 220;
constexpr double refreshWeight = 80;
constexpr double highDensityBonus = 0.15;
constexpr double currentModeBonus = 0.05;
constexpr double refreshRateTolerance = 0.1;

bool isCandidate(const platform::DisplayMode& mode, double width, double height) {
    return mode.usableForDesktopGUI && mode.width >= minimumModeWidth && mode.height >= minimumModeHeight &&
           static_cast<double>(mode.pixelWidth) >= width && static_cast<double>(mode.pixelHeight) >= height;
}

double score(const platform::DisplayMode& mode, const platform::DisplayMode& current, double tw, double th) {
    const auto w = static_cast<double>(mode.width);
    const auto h = static_cast<double>(mode.height);
    const auto pw = static_cast<double>(mode.pixelWidth);
    const auto ph = static_cast<double>(mode.pixelHeight);
    double total = sizeWeight * std::hypot((w - tw) / tw, (h - th) / th);
    total += aspectWeight * std::abs(std::log((w / h) / (tw / th)));
    total += pixelsWeight * std::hypot((pw - tw) / tw, (ph - th) / th);
    total += shortfallWeight * (std::max(tw - w, 0.0) / tw + std::max(th - h, 0.0) / th);
    if (mode.refreshRate > 0 && current.refreshRate > 0) {
        total += refreshWeight * std::abs(mode.refreshRate - current.refreshRate) / current.refreshRate;
    }
    if (pw > w || ph > h) total -= highDensityBonus;
    if (displayModesMatch(mode, current)) total -= currentModeBonus;
    return total;
}

}  // namespace

bool isDisplayModeTarget(double width, double height) {
    return std::isfinite(width) && std::isfinite(height) && width > 1 && height > 1;
}

std::optional<platform::DisplayMode> bestDisplayMode(std::span<const platform::DisplayMode> modes,
                                                     const platform::DisplayMode& current, double width,
                                                     double height) {
    const double tw = std::max(width, minimumModeWidth);
    const double th = std::max(height, minimumModeHeight);
    std::optional<platform::DisplayMode> best;
    double bestScore = 0;
    for (const auto& mode : modes) {
        if (!isCandidate(mode, width, height)) continue;
        const double modeScore = score(mode, current, tw, th);
        if (!best || modeScore < bestScore) {
            best = mode;
            bestScore = modeScore;
        }
    }
    return best;
}

bool displayModesMatch(const platform::DisplayMode& a, const platform::DisplayMode& b) {
    if (a.ioDisplayModeID != 0 && b.ioDisplayModeID != 0 && a.ioDisplayModeID == b.ioDisplayModeID) return true;
    return a.width == b.width && a.height == b.height && a.pixelWidth == b.pixelWidth &&
           a.pixelHeight == b.pixelHeight && std::abs(a.refreshRate - b.refreshRate) < refreshRateTolerance &&
           a.ioFlags == b.ioFlags;
}

std::string displayModeDescription(const platform::DisplayMode& mode) {
    char text[160];
    std::snprintf(text, sizeof text, "%lldx%lld pt / %lldx%lld px @%.1fHz", static_cast<long long>(mode.width),
                  static_cast<long long>(mode.height), static_cast<long long>(mode.pixelWidth),
                  static_cast<long long>(mode.pixelHeight), mode.refreshRate);
    return text;
}

std::string targetSizeDescription(double width, double height) {
    return std::to_string(std::llround(width)) + "x" + std::to_string(std::llround(height));
}

}  // namespace zentrabo
