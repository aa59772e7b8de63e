#pragma once
// All displays in one picture, as they are arranged: each captured display
// drawn where its bounds lie, at the densest display's scale, on black. The
// picture is produced a row at a time for the encoder, so it never exists
// whole in memory.
#include <cstdint>
#include <memory>
#include <vector>

#include "maccontrol/desktop_controller.hpp"

namespace zentrabo {

class DisplayComposite {
public:
    // The sources must outlive the composite: a display's image is read in
    // place when it already has the size it covers. Throws
    // screenshotCaptureFailed without a source, and for a picture of more
    // than 2^28 pixels (1 GiB of RGBA, which no real arrangement of displays
    // comes near) before anything is allocated.
    explicit DisplayComposite(const std::vector<DesktopController::DisplayScreenshotSource>& sources);

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }
    // The picture's rows, counted from the top as global display coordinates
    // are, so a display arranged below another shows below it. The
    // composite must outlive them.
    platform::RgbaRows rows();

private:
    // A source at its place on the picture: its own image, or that image
    // stretched to the pixels it covers.
    struct Placed {
        std::int64_t left = 0;
        std::int64_t top = 0;
        const platform::RgbaImage* image = nullptr;
        std::unique_ptr<platform::RgbaImage> stretched;
    };

    const std::uint8_t* row(std::uint32_t y);

    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::vector<Placed> placed_;
    platform::RgbaImage blackRow_;
    platform::RgbaImage row_;
};

}  // namespace zentrabo
