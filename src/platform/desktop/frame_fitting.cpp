#include "platform/desktop/frame_fitting.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t black = 0x000000FF;

}  // namespace

RgbaImage fitToConfiguration(RgbaImage source, const StreamConfiguration& configuration, const ImageResizer& resize) {
    const auto width = static_cast<std::uint32_t>(configuration.width);
    const auto height = static_cast<std::uint32_t>(configuration.height);
    if (source.width == width && source.height == height) return source;
    if (configuration.scalesToFit && !configuration.preservesAspectRatio) return resize(source, width, height);
    RgbaImage frame(width, height, black);
    if (!configuration.scalesToFit) {
        copyImageInto(frame, source, 0, 0);
        return frame;
    }
    const double scale =
        std::min(static_cast<double>(width) / source.width, static_cast<double>(height) / source.height);
    const auto fittedWidth = static_cast<std::uint32_t>(std::clamp(std::lround(source.width * scale), 1L, long{width}));
    const auto fittedHeight =
        static_cast<std::uint32_t>(std::clamp(std::lround(source.height * scale), 1L, long{height}));
    copyImageInto(frame, resize(source, fittedWidth, fittedHeight), (width - fittedWidth) / 2,
                  (height - fittedHeight) / 2);
    return frame;
}

}  // namespace zentrabo::platform
