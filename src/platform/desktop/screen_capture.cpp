#include "platform/desktop/screen_capture.hpp"

namespace zentrabo::platform {

bool ScreenCapture::withDisplayPixels(DisplayID display, const std::function<void(const PackedPixels&)>& use) {
    const auto image = displayImage(display);
    if (!image) return false;
    use(packedPixelsOf(*image));
    return true;
}

}  // namespace zentrabo::platform
