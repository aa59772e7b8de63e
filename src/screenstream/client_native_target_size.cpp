#include "screenstream/client_native_target_size.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo {

namespace {

// The longest side an encoder is asked for.
constexpr double maximumTargetSide = 5120;

}  // namespace

std::int64_t evenPixelSide(double side) {
    const std::int64_t rounded = std::max<std::int64_t>(std::llround(side), 2);
    return rounded % 2 == 0 ? rounded : rounded + 1;
}

std::optional<PixelSize> clientNativeTargetSize(double width, double height) {
    if (!std::isfinite(width) || !std::isfinite(height) || !(width > 1) || !(height > 1)) return std::nullopt;
    const double longer = std::max(width, height);
    if (longer > maximumTargetSide) {
        width *= maximumTargetSide / longer;
        height *= maximumTargetSide / longer;
    }
    return PixelSize{evenPixelSide(width), evenPixelSide(height)};
}

}  // namespace zentrabo
