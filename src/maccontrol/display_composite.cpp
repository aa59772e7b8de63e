#include "maccontrol/display_composite.hpp"

#include <algorithm>
#include <cmath>

#include "maccontrol/mac_menu_error.hpp"
#include "platform/imaging/image_resize.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::Rect;
using platform::RgbaImage;

namespace {

constexpr std::int64_t maximumPixels = std::int64_t{1} << 28;

}  // namespace

DisplayComposite::DisplayComposite(const std::vector<DesktopController::DisplayScreenshotSource>& sources) {
    if (sources.empty()) throw MacMenuError(Case::screenshotCaptureFailed);
    Rect all = sources.front().bounds;
    double scale = 1.0;
    for (const auto& source : sources) {
        all = all.united(source.bounds);
        scale = std::max(scale, source.scale);
    }
    const auto size = DesktopController::canvasSize(all, scale);
    if (size.width > maximumPixels || size.height > maximumPixels || size.width * size.height > maximumPixels) {
        throw MacMenuError(Case::screenshotCaptureFailed);
    }
    width_ = static_cast<std::uint32_t>(size.width);
    height_ = static_cast<std::uint32_t>(size.height);

    for (const auto& source : sources) {
        // Edges rounded to whole pixels of the picture.
        const Rect& bounds = source.bounds;
        const auto left = std::lround(scale * (bounds.minX() - all.minX()));
        const auto right = std::lround(scale * (bounds.maxX() - all.minX()));
        const auto top = std::lround(scale * (bounds.minY() - all.minY()));
        const auto bottom = std::lround(scale * (bounds.maxY() - all.minY()));
        if (right <= left || bottom <= top || source.image.width == 0 || source.image.height == 0) continue;
        const auto width = static_cast<std::uint32_t>(right - left);
        const auto height = static_cast<std::uint32_t>(bottom - top);
        Placed place{left, top, &source.image, nullptr};
        if (source.image.width != width || source.image.height != height) {
            try {
                place.stretched = std::make_unique<RgbaImage>(platform::resizeImage(source.image, width, height));
            } catch (const platform::ImagingError&) {
                throw MacMenuError(Case::screenshotCaptureFailed);
            }
            place.image = place.stretched.get();
        }
        placed_.push_back(std::move(place));
    }
}

platform::RgbaRows DisplayComposite::rows() {
    return {width_, height_, [this](std::uint32_t y) { return row(y); }};
}

const std::uint8_t* DisplayComposite::row(std::uint32_t y) {
    if (row_.pixels.empty()) {
        // Made when the encoder first asks, after it has accepted the size.
        blackRow_ = RgbaImage(width_, 1, 0x000000FF);
        row_ = blackRow_;
    } else {
        row_.pixels = blackRow_.pixels;
    }
    // Each source's row y lands on the one-row canvas.
    for (const auto& placed : placed_) platform::copyImageInto(row_, *placed.image, placed.left, placed.top - y);
    return row_.pixels.data();
}

}  // namespace zentrabo
