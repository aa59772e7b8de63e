#pragma once
// The drawing steps of an application icon: the square render of its
// picture, the square that trims a picture's plain margin away, and the
// small rounded PNG.
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/desktop/geometry.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo {

// The picture stretched to fill a square of pixelSize (no aspect ratio
// kept); none for an empty picture.
std::optional<platform::RgbaImage> renderIcon(const platform::RgbaImage& image, std::uint32_t pixelSize);

// The square of the render that holds its content with a small margin, when
// the content is large enough to be worth trimming to: content is what is
// neither nearly transparent nor nearly opaque white, or, where there is
// none, what is not wholly transparent. Rows count from the top, as the
// render's own, so the square lies where the content lies.
std::optional<platform::PixelRect> iconTrimRect(const platform::RgbaImage& render);

// A square around the rectangle's centre, as large as its longer side but no
// larger than the bounds allow, moved inside the bounds.
platform::Rect squareRect(const platform::Rect& around, const platform::Rect& within);

// The source rectangle of the render drawn over a square of pixelSize,
// clipped to a rounded rectangle (corner radius 0.22 of the side), as PNG;
// none when it cannot be made.
std::optional<std::vector<std::uint8_t>> iconPNGData(const platform::RgbaImage& render,
                                                     const platform::PixelRect& sourceRect, std::uint32_t pixelSize);

}  // namespace zentrabo
