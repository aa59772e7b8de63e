#pragma once
// The stream size that matches the device's own pixels.
#include <cstdint>
#include <optional>

namespace zentrabo {

struct PixelSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool operator==(const PixelSize&) const = default;
};

// A side as encoders take it: rounded (halves away from zero), at least 2,
// and made even by adding 1.
std::int64_t evenPixelSide(double side);

// The device's pixel size, scaled down proportionally when its longer side
// exceeds 5120, each side made an even pixel side. None unless both sides
// are finite and above 1.
std::optional<PixelSize> clientNativeTargetSize(double width, double height);

}  // namespace zentrabo
