#include "platform/desktop/gnome/picture_region.hpp"

namespace zentrabo::platform {

PictureRegion contentRegion(std::uint32_t width, std::uint32_t height, const std::optional<PictureRegion>& crop,
                            const FrameInsets& insets) {
    PictureRegion region{0, 0, width, height};
    if (crop && crop->width > 0 && crop->height > 0 && std::uint64_t{crop->left} + crop->width <= width &&
        std::uint64_t{crop->top} + crop->height <= height) {
        region = *crop;
    }
    if (std::uint64_t{insets.left} + insets.right < region.width &&
        std::uint64_t{insets.top} + insets.bottom < region.height) {
        region.left += insets.left;
        region.top += insets.top;
        region.width -= insets.left + insets.right;
        region.height -= insets.top + insets.bottom;
    }
    return region;
}

}  // namespace zentrabo::platform
