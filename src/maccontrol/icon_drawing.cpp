#include "maccontrol/icon_drawing.hpp"

#include <algorithm>
#include <cmath>

#include "platform/imaging/image_resize.hpp"
#include "platform/imaging/png_codec.hpp"
#include "platform/imaging/rounded_clip.hpp"

namespace zentrabo {

namespace {

using platform::PixelRect;
using platform::Rect;
using platform::RgbaImage;

// A pixel is content when it is more than faintly visible ...
constexpr double contentMinimumAlpha = 0.18;
// ... and not part of a plain white backdrop: nearly opaque, light in every
// channel and nearly grey.
constexpr double backdropMinimumAlpha = 0.86;
constexpr double backdropMinimumChannel = 0.91;
constexpr double backdropMaximumSpread = 0.08;
// Without such content, whatever is visible at all.
constexpr double visibleMinimumAlpha = 0.04;
// Content smaller than this share of the side is drawn small on purpose.
constexpr double minimumContentShare = 0.42;
// The margin left around the content, as a share of its longer side.
constexpr double marginShare = 0.035;
// The corner radius of the rounded clip, as a share of the side.
constexpr double cornerRadiusShare = 0.22;

double unit(std::uint8_t value) { return value / 255.0; }

bool isContent(const std::uint8_t* pixel) {
    const double alpha = unit(pixel[3]);
    if (alpha <= contentMinimumAlpha) return false;
    const double lowest = unit(std::min({pixel[0], pixel[1], pixel[2]}));
    const double highest = unit(std::max({pixel[0], pixel[1], pixel[2]}));
    const bool backdrop =
        alpha >= backdropMinimumAlpha && lowest >= backdropMinimumChannel && highest - lowest <= backdropMaximumSpread;
    return !backdrop;
}

bool isVisible(const std::uint8_t* pixel) { return unit(pixel[3]) > visibleMinimumAlpha; }

// The smallest rectangle holding every pixel that counts.
template <typename Counts>
std::optional<Rect> boundingBox(const RgbaImage& image, Counts counts) {
    std::uint32_t minX = image.width, minY = image.height, maxX = 0, maxY = 0;
    bool found = false;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            if (!counts(image.pixel(x, y))) continue;
            found = true;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x);
            minY = std::min(minY, y);
            maxY = std::max(maxY, y);
        }
    }
    if (!found) return std::nullopt;
    return Rect{double(minX), double(minY), double(maxX - minX + 1), double(maxY - minY + 1)};
}

}  // namespace

std::optional<RgbaImage> renderIcon(const RgbaImage& image, std::uint32_t pixelSize) {
    try {
        return platform::resizeImage(image, pixelSize, pixelSize);
    } catch (const platform::ImagingError&) {
        return std::nullopt;
    }
}

std::optional<PixelRect> iconTrimRect(const RgbaImage& render) {
    if (render.width < 1 || render.height < 1) return std::nullopt;
    auto box = boundingBox(render, isContent);
    if (!box) box = boundingBox(render, isVisible);
    if (!box) return std::nullopt;
    const double shorterSide = std::min(render.width, render.height);
    if (box->width < minimumContentShare * shorterSide || box->height < minimumContentShare * shorterSide) {
        return std::nullopt;
    }
    const double margin = marginShare * std::max(box->width, box->height);
    const Rect grown{box->x - margin, box->y - margin, box->width + 2 * margin, box->height + 2 * margin};
    const Rect square = squareRect(grown, Rect{0, 0, double(render.width), double(render.height)});
    const double left = std::floor(square.x);
    const double top = std::floor(square.y);
    return PixelRect{static_cast<std::uint32_t>(left), static_cast<std::uint32_t>(top),
                     static_cast<std::uint32_t>(std::ceil(square.x + square.width) - left),
                     static_cast<std::uint32_t>(std::ceil(square.y + square.height) - top)};
}

Rect squareRect(const Rect& around, const Rect& within) {
    const double side = std::min(std::max(around.width, around.height), std::min(within.width, within.height));
    const auto place = [side](double centre, double lowest, double highest) {
        return std::min(std::max(centre - side / 2, lowest), highest - side);
    };
    return Rect{place(around.x + around.width / 2, within.minX(), within.maxX()),
                place(around.y + around.height / 2, within.minY(), within.maxY()), side, side};
}

std::optional<std::vector<std::uint8_t>> iconPNGData(const RgbaImage& render, const PixelRect& sourceRect,
                                                     std::uint32_t pixelSize) {
    try {
        RgbaImage icon = platform::resizeImage(render, sourceRect, pixelSize, pixelSize);
        platform::clipToRoundedRectangle(icon, cornerRadiusShare * pixelSize);
        return platform::encodePng(icon);
    } catch (const platform::ImagingError&) {
        return std::nullopt;
    }
}

}  // namespace zentrabo
