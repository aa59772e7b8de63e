#include "platform/desktop/frame_fitting.hpp"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavutil/frame.h>
}

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t black = 0x000000FF;
// The half-size colour planes of 4:2:0 start on whole samples.
constexpr std::uint32_t yuv420Alignment = 2;

bool coversFrame(const FramePlacement& placement, const StreamConfiguration& configuration) {
    return placement.frame == PixelRect{0, 0, static_cast<std::uint32_t>(configuration.width),
                                        static_cast<std::uint32_t>(configuration.height)};
}

}  // namespace

FramePlacement placeInFrame(std::uint32_t sourceWidth, std::uint32_t sourceHeight,
                            const StreamConfiguration& configuration, std::uint32_t alignment) {
    const auto width = static_cast<std::uint32_t>(configuration.width);
    const auto height = static_cast<std::uint32_t>(configuration.height);
    const PixelRect whole{0, 0, sourceWidth, sourceHeight};
    if (sourceWidth == width && sourceHeight == height) return {whole, whole};
    if (!configuration.scalesToFit) {
        const PixelRect shown{0, 0, std::min(sourceWidth, width), std::min(sourceHeight, height)};
        return {shown, shown};
    }
    if (!configuration.preservesAspectRatio) return {whole, PixelRect{0, 0, width, height}};
    const double scale = std::min(static_cast<double>(width) / sourceWidth, static_cast<double>(height) / sourceHeight);
    const auto fittedWidth = static_cast<std::uint32_t>(std::clamp(std::lround(sourceWidth * scale), 1L, long{width}));
    const auto fittedHeight =
        static_cast<std::uint32_t>(std::clamp(std::lround(sourceHeight * scale), 1L, long{height}));
    const std::uint32_t left = (width - fittedWidth) / 2 / alignment * alignment;
    const std::uint32_t top = (height - fittedHeight) / 2 / alignment * alignment;
    return {whole, PixelRect{left, top, fittedWidth, fittedHeight}};
}

RgbaImage fitToConfiguration(RgbaImage source, const StreamConfiguration& configuration, const ImageResizer& resize) {
    if (source.width == configuration.width && source.height == configuration.height) return source;
    const FramePlacement placement = placeInFrame(source.width, source.height, configuration);
    const bool stretched =
        placement.frame.width != placement.source.width || placement.frame.height != placement.source.height;
    if (stretched && coversFrame(placement, configuration)) {
        return resize(source, placement.frame.width, placement.frame.height);
    }
    RgbaImage frame(static_cast<std::uint32_t>(configuration.width), static_cast<std::uint32_t>(configuration.height),
                    black);
    if (stretched) {
        copyImageInto(frame, resize(source, placement.frame.width, placement.frame.height), placement.frame.x,
                      placement.frame.y);
    } else {
        copyImageInto(frame, source, 0, 0);
    }
    return frame;
}

void fitIntoYuv420(const PackedPixels& source, const StreamConfiguration& configuration, Yuv420Scaler& scaler,
                   AVFrame& picture) {
    const FramePlacement placement = placeInFrame(source.width, source.height, configuration, yuv420Alignment);
    PackedPixels shown = source;
    shown.width = placement.source.width;
    shown.height = placement.source.height;
    scaler.draw(shown, picture, placement.frame);
}

}  // namespace zentrabo::platform
