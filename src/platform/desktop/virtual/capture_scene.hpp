#pragma once
// What a capture of the virtual desktop shows at one moment, copied out of
// the desktop under its lock, and the drawing of it, done outside the lock.
// The content moves with the clock and tells windows apart without text: a
// band that slides across each window and the desktop, and a block pattern
// seeded by the window number over the window's colour.
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/desktop/capture_stream.hpp"
#include "platform/desktop/geometry.hpp"
#include "platform/desktop/window_server.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

struct CaptureScene {
    struct Window {
        WindowID number = 0;
        Rect frame;  // global points, standardized
        std::uint32_t color = 0;
    };

    std::uint32_t width = 0;  // source pixels
    std::uint32_t height = 0;
    double scale = 1;  // pixels per point
    Point origin;      // the global point at the source's top-left corner
    // The desktop under the windows: its picture (any size, stretched) or
    // its colour. A capture of one window has none.
    bool showsDesktop = false;
    std::shared_ptr<const RgbaImage> picture;
    std::uint32_t background = 0;
    std::vector<Window> windows;  // back to front
    std::optional<Point> pointer;
    double time = 0;  // the clock's monotonic seconds
};

// The scene at its source size.
RgbaImage drawCaptureScene(const CaptureScene& scene);

}  // namespace zentrabo::platform
