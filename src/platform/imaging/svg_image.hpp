#pragma once
// SVG pictures drawn with librsvg (through Cairo, used for nothing else).
#include <cstdint>
#include <optional>
#include <span>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The document drawn into a size x size square (its aspect kept, centred);
// none when it does not parse or draw.
std::optional<RgbaImage> renderSvg(std::span<const std::uint8_t> data, std::uint32_t size);

// The document drawn at its own size in pixels, scaled down to a long side
// of maximumPixelSize when larger; one without a size of its own is drawn
// with that long side. None when it does not parse or draw.
std::optional<RgbaImage> renderSvgWithin(std::span<const std::uint8_t> data, std::uint32_t maximumPixelSize);

}  // namespace zentrabo::platform
