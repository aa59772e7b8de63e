// The arithmetic of a window resize: the sizes a request may ask for, the
// frame kept on its display, and the proportions asked for again.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "screenstream/window_resize_geometry.hpp"

namespace zentrabo {
namespace {

using platform::Rect;
using platform::Size;

TEST(WindowResizeGeometryTest, RequestedSizesGrowAndShrinkWithTheirProportions) {
    constexpr double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double width, height;
        std::optional<Size> expected;
    } rows[] = {
        {100, 100, Size{200, 200}},
        {50, 400, Size{200, 1600}},
        {20000, 5000, Size{10000, 2500}},
        {640.4, 480.5, Size{640, 481}},
        // So long and thin that the short side would round to nothing.
        {1e9, 2, Size{10000, 1}},
        {1.0, 500, std::nullopt},
        {0, 500, std::nullopt},
        {-300, 200, std::nullopt},
        {infinity, 200, std::nullopt},
        {300, std::nan(""), std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.width) + " x " + std::to_string(row.height));
        EXPECT_EQ(normalizedWindowSize(row.width, row.height), row.expected);
    }
}

TEST(WindowResizeGeometryTest, AFrameStaysOnTheDisplayThatHoldsMostOfIt) {
    const std::vector<Rect> displays{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const struct {
        const char* name;
        Rect frame;
        Rect expected;
    } rows[] = {
        {"inside: unchanged", {100, 100, 800, 600}, {100, 100, 800, 600}},
        {"over the right edge of the first", {1500, 700, 600, 500}, {1320, 580, 600, 500}},
        {"above and left of the first", {-50, -30, 400, 300}, {0, 0, 400, 300}},
        {"mostly on the second", {1800, 100, 800, 600}, {1920, 100, 800, 600}},
        {"wider than its display: at its left edge", {2000, 100, 1500, 300}, {1920, 100, 1500, 300}},
        {"off every display: the nearest one", {4000, 2000, 200, 200}, {3000, 824, 200, 200}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(keptOnDisplayOf(row.frame, row.frame, displays), row.expected);
    }
    EXPECT_EQ(keptOnDisplayOf({-500, -500, 10, 10}, {-500, -500, 10, 10}, {}), (Rect{-500, -500, 10, 10}));
    // Grown past the edge between two displays, a window stays on the one it was on.
    EXPECT_EQ(keptOnDisplayOf({1700, 100, 200, 200}, {1800, 100, 800, 200}, displays), (Rect{1120, 100, 800, 200}));
}

TEST(WindowResizeGeometryTest, BentProportionsAreAskedForAgainByGrowingTheShortSide) {
    const struct {
        Size actual, target;
        std::optional<Size> expected;
    } rows[] = {
        {{800, 600}, {800, 600}, std::nullopt},   {{800, 602}, {800, 600}, std::nullopt},  // within the tolerance
        {{400, 400}, {800, 600}, Size{533, 400}}, {{400, 400}, {600, 800}, Size{400, 533}},
        {{1, 400}, {800, 600}, std::nullopt},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(aspectCorrectedSize(row.actual, row.target), row.expected);
    }
}

}  // namespace
}  // namespace zentrabo
