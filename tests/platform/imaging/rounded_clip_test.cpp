// The rounded clip of icons: clear corners, whole straight edges and an
// anti-aliased arc, the same in every corner.
#include <gtest/gtest.h>

#include "platform/imaging/rounded_clip.hpp"

namespace zentrabo::platform {
namespace {

TEST(RoundedClipTest, CornersGoClearEdgesStayAndTheArcIsSoftened) {
    RgbaImage image(96, 96, 0x336699FF);
    clipToRoundedRectangle(image, 21.12);
    const auto alpha = [&image](std::uint32_t x, std::uint32_t y) { return image.pixel(x, y)[3]; };

    const struct {
        const char* what;
        std::uint32_t x, y;
        int lowest, highest;
    } cases[] = {
        {"corner pixel", 0, 0, 0, 0},
        {"inside the corner square, outside the arc", 4, 4, 0, 0},
        {"middle of the top edge", 48, 0, 255, 255},
        {"middle of the left edge", 0, 48, 255, 255},
        {"where the arc meets the edge", 21, 0, 255, 255},
        {"centre", 48, 48, 255, 255},
        // The arc runs through the middle of this pixel, so about half of
        // it is inside.
        {"on the arc", 9, 3, 100, 160},
    };
    for (const auto& c : cases) {
        EXPECT_GE(alpha(c.x, c.y), c.lowest) << c.what;
        EXPECT_LE(alpha(c.x, c.y), c.highest) << c.what;
        EXPECT_EQ(alpha(95 - c.x, c.y), alpha(c.x, c.y)) << c.what << ", mirrored";
        EXPECT_EQ(alpha(c.x, 95 - c.y), alpha(c.x, c.y)) << c.what << ", flipped";
    }
    EXPECT_EQ(image.pixel(9, 3)[0], 0x33) << "colour stays straight";
}

}  // namespace
}  // namespace zentrabo::platform
