#include "platform/desktop/frame_fitting.hpp"

#include <gtest/gtest.h>

namespace zentrabo::platform {
namespace {

TEST(FramePlacement, SourcesAreCutStretchedOrCentredOnTheColourGridWhenAsked) {
    struct Case {
        const char* what;
        std::uint32_t sourceWidth, sourceHeight;
        std::int64_t width, height;
        bool scalesToFit, preservesAspectRatio;
        std::uint32_t alignment;
        PixelRect source, frame;
    };
    const Case cases[] = {
        {"same size", 64, 48, 64, 48, true, true, 2, {0, 0, 64, 48}, {0, 0, 64, 48}},
        {"larger, cut", 100, 30, 64, 48, false, false, 1, {0, 0, 64, 30}, {0, 0, 64, 30}},
        {"smaller, at the corner", 20, 10, 64, 48, false, false, 2, {0, 0, 20, 10}, {0, 0, 20, 10}},
        {"stretched", 100, 50, 64, 48, true, false, 2, {0, 0, 100, 50}, {0, 0, 64, 48}},
        {"centred exactly", 100, 50, 80, 46, true, true, 1, {0, 0, 100, 50}, {0, 3, 80, 40}},
        {"centred on even rows", 100, 50, 80, 46, true, true, 2, {0, 0, 100, 50}, {0, 2, 80, 40}},
        {"centred on even columns", 50, 100, 47, 80, true, true, 2, {0, 0, 50, 100}, {2, 0, 40, 80}},
    };
    for (const Case& c : cases) {
        StreamConfiguration configuration;
        configuration.width = c.width;
        configuration.height = c.height;
        configuration.scalesToFit = c.scalesToFit;
        configuration.preservesAspectRatio = c.preservesAspectRatio;
        const FramePlacement placement = placeInFrame(c.sourceWidth, c.sourceHeight, configuration, c.alignment);
        EXPECT_EQ(placement.source, c.source) << c.what;
        EXPECT_EQ(placement.frame, c.frame) << c.what;
    }
}

}  // namespace
}  // namespace zentrabo::platform
