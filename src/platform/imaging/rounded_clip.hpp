#pragma once
// Clipping a picture to a rounded rectangle, as icons are shown.
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// Clips the image to a rounded rectangle covering all of it, with the corner
// radius (at most half the shorter side) in both directions: each pixel's
// alpha is scaled by how much of it lies inside, so the curved edges are
// anti-aliased, the straight edges stay whole and the corners go clear.
void clipToRoundedRectangle(RgbaImage& image, double cornerRadius);

}  // namespace zentrabo::platform
