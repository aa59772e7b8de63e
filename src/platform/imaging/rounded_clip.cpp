#include "platform/imaging/rounded_clip.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo::platform {

namespace {

// How much of the pixel whose centre is at x, y lies inside the rounded
// rectangle: on the curved edges the distance from the pixel's centre to the
// arc, turned into a coverage over a one-pixel band.
double coverage(double x, double y, double width, double height, double radius) {
    const double dx = std::max({radius - x, x - (width - radius), 0.0});
    const double dy = std::max({radius - y, y - (height - radius), 0.0});
    if (dx == 0 || dy == 0) return 1;  // beside a straight edge, wholly inside
    return std::clamp(radius - std::hypot(dx, dy) + 0.5, 0.0, 1.0);
}

}  // namespace

void clipToRoundedRectangle(RgbaImage& image, double cornerRadius) {
    const double width = image.width;
    const double height = image.height;
    const double radius = std::clamp(cornerRadius, 0.0, std::min(width, height) / 2);
    if (radius == 0) return;
    // Only the corner squares can lose coverage.
    const auto band = static_cast<std::uint32_t>(std::ceil(radius));
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const bool nearTopOrBottom = y < band || y + band >= image.height;
        if (!nearTopOrBottom) continue;
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const double share = coverage(x + 0.5, y + 0.5, width, height, radius);
            if (share == 1) continue;
            std::uint8_t& alpha = image.pixel(x, y)[3];
            alpha = static_cast<std::uint8_t>(std::lround(alpha * share));
        }
    }
}

}  // namespace zentrabo::platform
