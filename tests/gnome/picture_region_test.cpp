// The part of a recorded picture a window's picture keeps.
#include <gtest/gtest.h>

#include "platform/desktop/gnome/picture_region.hpp"
#include "platform/desktop/gnome/shell_windows.hpp"

namespace zentrabo::platform {
namespace {

TEST(PictureRegion, TheCropRegionLessTheShadowsWhereBothFit) {
    struct Row {
        const char* what;
        std::optional<PictureRegion> crop;
        FrameInsets insets;
        PictureRegion expected;
    };
    const Row rows[] = {
        {"a monitor: all of it", std::nullopt, {}, {0, 0, 1920, 1080}},
        {"a window's buffer at a monitor's size", PictureRegion{0, 0, 472, 352}, {}, {0, 0, 472, 352}},
        {"its frame inside the shadows", PictureRegion{0, 0, 472, 352}, {26, 23, 26, 29}, {26, 23, 420, 300}},
        {"a crop region that leaves the picture", PictureRegion{1800, 0, 200, 100}, {}, {0, 0, 1920, 1080}},
        {"an empty crop region", PictureRegion{10, 10, 0, 0}, {}, {0, 0, 1920, 1080}},
        {"insets that leave nothing", PictureRegion{0, 0, 40, 40}, {20, 0, 20, 0}, {0, 0, 40, 40}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(contentRegion(1920, 1080, row.crop, row.insets), row.expected);
    }
}

TEST(PictureRegion, AFrameInsideItsBufferGivesItsInsetsAndOneOutsideNone) {
    ShellWindow window;
    window.buffer = {74, 77, 472, 352};
    window.frame = {100, 100, 420, 300};
    EXPECT_EQ(window.frameInsets(), (FrameInsets{26, 23, 26, 29}));
    window.frame = {60, 100, 420, 300};
    EXPECT_EQ(window.frameInsets(), FrameInsets{});
}

}  // namespace
}  // namespace zentrabo::platform
