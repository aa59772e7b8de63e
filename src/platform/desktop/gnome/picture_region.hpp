#pragma once
// Which part of a recorded picture shows the content. A window's recording
// is as large as the window's whole buffer (its crop region), client-side
// shadows included; a window's picture is its frame, as on every other
// desktop, so the shadows are cut off by the window's insets.
#include <cstdint>
#include <optional>

namespace zentrabo::platform {

struct PictureRegion {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool operator==(const PictureRegion&) const = default;
};

// How far the frame lies inside the buffer on each side, in pixels.
struct FrameInsets {
    std::uint32_t left = 0;
    std::uint32_t top = 0;
    std::uint32_t right = 0;
    std::uint32_t bottom = 0;
    bool operator==(const FrameInsets&) const = default;
};

// The content of a width x height picture: the crop region when one is
// given that lies inside the picture (else all of it), less the insets when
// something is left after them.
PictureRegion contentRegion(std::uint32_t width, std::uint32_t height, const std::optional<PictureRegion>& crop,
                            const FrameInsets& insets);

}  // namespace zentrabo::platform
