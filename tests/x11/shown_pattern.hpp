#pragma once
// Whether a picture the binary sent (a JPEG screenshot, a decoded video
// frame) shows a test application's window pattern.
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "platform/imaging/image.hpp"
#include "x11/x11_test_support.hpp"

namespace zentrabo::testing {

// Whether the picture shows the window's pattern with the window's client
// area at (left, top) of the picture, drawn `scale` pixels of the picture a
// pixel of the screen. Compression blurs colours a little and edges more,
// so the points sit in the middle of each quadrant.
inline bool showsPattern(const platform::RgbaImage& picture, const MappedWindow& window, double left, double top,
                         double scale = 1) {
    constexpr int tolerance = 28;
    const int w = window.width, h = window.height;
    for (const auto& [x, y] : {std::pair{w / 4, h / 4}, std::pair{3 * w / 4, h / 4}, std::pair{w / 4, 3 * h / 4},
                               std::pair{3 * w / 4, 3 * h / 4}}) {
        const double pictureX = left + x * scale, pictureY = top + y * scale;
        if (pictureX < 0 || pictureY < 0 || pictureX >= picture.width || pictureY >= picture.height) return false;
        const auto* pixel = picture.pixel(static_cast<std::uint32_t>(pictureX), static_cast<std::uint32_t>(pictureY));
        const Rgb expected = testPatternColour(window.colour, w, h, x, y);
        if (std::abs(pixel[0] - expected.red) > tolerance || std::abs(pixel[1] - expected.green) > tolerance ||
            std::abs(pixel[2] - expected.blue) > tolerance) {
            return false;
        }
    }
    return true;
}

}  // namespace zentrabo::testing
