#include "screenstream/window_resize_geometry.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo {

namespace {

bool isFiniteAboveOne(double value) { return std::isfinite(value) && value > 1; }

// Halves away from zero.
double roundedPoints(double value) { return std::round(value); }

// A window asked for is at least this large, at most this long per side.
constexpr double smallestWindowWidth = 200;
constexpr double smallestWindowHeight = 160;
constexpr double largestWindowSide = 10000;
// Proportions closer than this (as a log ratio) count as the same.
constexpr double aspectTolerance = 0.015;

double clampedOrigin(double origin, double side, double displayMin, double displayMax) {
    if (side > displayMax - displayMin) return displayMin;
    return std::min(std::max(displayMin, origin), displayMax - side);
}

}  // namespace

std::optional<platform::Size> normalizedWindowSize(double width, double height) {
    if (!isFiniteAboveOne(width) || !isFiniteAboveOne(height)) return std::nullopt;
    const double grow = std::max({smallestWindowWidth / width, smallestWindowHeight / height, 1.0});
    width *= grow;
    height *= grow;
    const double shrink = std::min({largestWindowSide / width, largestWindowSide / height, 1.0});
    // An extreme ratio would otherwise round its short side to nothing.
    return platform::Size{std::max(roundedPoints(width * shrink), 1.0), std::max(roundedPoints(height * shrink), 1.0)};
}

platform::Rect centredFrame(const platform::Rect& around, const platform::Size& size) {
    return {around.midX() - size.width / 2, around.midY() - size.height / 2, size.width, size.height};
}

std::vector<platform::Rect> activeDisplayBounds(platform::Displays& displays) {
    std::vector<platform::Rect> bounds;
    for (const auto display : displays.activeDisplayIDs().value_or(std::vector<platform::DisplayID>{})) {
        const auto frame = displays.bounds(display).standardized();
        if (frame.width > 0 && frame.height > 0) bounds.push_back(frame);
    }
    return bounds;
}

std::optional<platform::Rect> displayBounds(const platform::Rect& frame, const std::vector<platform::Rect>& displays) {
    const platform::Rect* best = nullptr;
    double bestArea = 0;
    for (const auto& display : displays) {
        const double area = display.overlapArea(frame);
        if (area > bestArea) {
            best = &display;
            bestArea = area;
        }
    }
    if (best) return *best;
    double bestDistance = 0;
    for (const auto& display : displays) {
        const double distance = std::fabs(display.midX() - frame.midX()) + std::fabs(display.midY() - frame.midY());
        if (!best || distance < bestDistance) {
            best = &display;
            bestDistance = distance;
        }
    }
    if (best) return *best;
    return std::nullopt;
}

platform::Rect clampedFrame(const platform::Rect& frame, const platform::Rect& display) {
    return {clampedOrigin(frame.x, frame.width, display.minX(), display.maxX()),
            clampedOrigin(frame.y, frame.height, display.minY(), display.maxY()), frame.width, frame.height};
}

platform::Rect keptOnDisplayOf(const platform::Rect& reference, const platform::Rect& frame,
                               const std::vector<platform::Rect>& displays) {
    if (const auto display = displayBounds(reference, displays)) return clampedFrame(frame, *display);
    return frame;
}

std::optional<platform::Size> aspectCorrectedSize(const platform::Size& actual, const platform::Size& target) {
    if (!isFiniteAboveOne(actual.width) || !isFiniteAboveOne(actual.height) || !isFiniteAboveOne(target.width) ||
        !isFiniteAboveOne(target.height)) {
        return std::nullopt;
    }
    const double targetRatio = target.width / target.height;
    const double actualRatio = actual.width / actual.height;
    if (!std::isfinite(targetRatio) || !std::isfinite(actualRatio)) return std::nullopt;
    if (std::fabs(std::log(actualRatio / targetRatio)) < aspectTolerance) return std::nullopt;
    const platform::Size corrected = targetRatio >= actualRatio
                                         ? platform::Size{targetRatio * actual.height, actual.height}
                                         : platform::Size{actual.width, actual.width / targetRatio};
    if (!std::isfinite(corrected.width) || !std::isfinite(corrected.height)) return std::nullopt;
    if (corrected.width < actual.width - 1 || corrected.height < actual.height - 1) return std::nullopt;
    if (std::fabs(corrected.width - actual.width) < 1 && std::fabs(corrected.height - actual.height) < 1) {
        return std::nullopt;
    }
    return platform::Size{roundedPoints(corrected.width), roundedPoints(corrected.height)};
}

}  // namespace zentrabo
