#include "platform/media/yuv420_scaler.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/media/media_error.hpp"
#include "platform/media/yuv420_picture_pool.hpp"

extern "C" {
#include <libavutil/frame.h>
}

namespace zentrabo::platform {
namespace {

struct Yuv {
    int y, cb, cr;
};

// BT.709 in limited range, from its definition.
Yuv bt709(double red, double green, double blue) {
    const double luma = 0.2126 * red + 0.7152 * green + 0.0722 * blue;
    return {static_cast<int>(std::lround(16 + 219 * luma / 255)),
            static_cast<int>(std::lround(128 + 224 * (blue - luma) / (1.8556 * 255))),
            static_cast<int>(std::lround(128 + 224 * (red - luma) / (1.5748 * 255)))};
}

// width x height pixels of one colour, the channels where the order puts
// them and the unused byte a value no channel has.
std::vector<std::uint8_t> packedColour(PackedPixelOrder order, std::uint32_t width, std::uint32_t height,
                                       std::array<std::uint8_t, 3> rgb) {
    const auto [r, g, b] = rgb;
    constexpr std::uint8_t unused = 0x5A;
    std::array<std::uint8_t, 4> pixel{};
    switch (order) {
    case PackedPixelOrder::rgbx:
        pixel = {r, g, b, unused};
        break;
    case PackedPixelOrder::bgrx:
        pixel = {b, g, r, unused};
        break;
    case PackedPixelOrder::xrgb:
        pixel = {unused, r, g, b};
        break;
    case PackedPixelOrder::xbgr:
        pixel = {unused, b, g, r};
        break;
    }
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t i = 0; i < width * height; ++i) bytes.insert(bytes.end(), pixel.begin(), pixel.end());
    return bytes;
}

Yuv sampleAt(const AVFrame& picture, int x, int y) {
    return {picture.data[0][y * picture.linesize[0] + x], picture.data[1][y / 2 * picture.linesize[1] + x / 2],
            picture.data[2][y / 2 * picture.linesize[2] + x / 2]};
}

TEST(Yuv420Scaler, EachByteOrderLandsInItsAreaAndTheRestStaysBlack) {
    constexpr int size = 16;
    Yuv420PicturePool pool(size, size, 1);
    const std::array<std::uint8_t, 3> orange{230, 120, 20};
    const Yuv expected = bt709(230, 120, 20);
    const Yuv black = bt709(0, 0, 0);
    struct Case {
        PackedPixelOrder order;
        std::uint32_t sourceWidth, sourceHeight;
        PixelRect area;
    };
    const Case cases[] = {
        {PackedPixelOrder::rgbx, 16, 16, {0, 0, 16, 16}},  // conversion alone
        {PackedPixelOrder::bgrx, 10, 6, {4, 2, 10, 6}},    // placed, not scaled
        {PackedPixelOrder::xrgb, 20, 20, {2, 6, 8, 8}},    // shrunk
        {PackedPixelOrder::xbgr, 3, 5, {6, 0, 7, 11}},     // stretched to odd sides
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.order));
        const auto picture = pool.take();
        ASSERT_TRUE(picture);
        // What an earlier frame left there.
        for (int plane = 0; plane < 3; ++plane) {
            const int rows = plane == 0 ? size : size / 2;
            std::fill_n(picture->data[plane], picture->linesize[plane] * rows, std::uint8_t{200});
        }
        const auto bytes = packedColour(c.order, c.sourceWidth, c.sourceHeight, orange);
        Yuv420Scaler scaler;
        scaler.draw(PackedPixels{bytes.data(), c.sourceWidth, c.sourceHeight, std::size_t{c.sourceWidth} * 4, c.order},
                    *picture, c.area);
        for (int y = 0; y < size; y += 2) {
            for (int x = 0; x < size; x += 2) {
                const bool inside = x >= static_cast<int>(c.area.x) && y >= static_cast<int>(c.area.y) &&
                                    x + 1 < static_cast<int>(c.area.x + c.area.width) &&
                                    y + 1 < static_cast<int>(c.area.y + c.area.height);
                const bool outside = x + 1 < static_cast<int>(c.area.x) || y + 1 < static_cast<int>(c.area.y) ||
                                     x >= static_cast<int>(c.area.x + c.area.width) ||
                                     y >= static_cast<int>(c.area.y + c.area.height);
                if (!inside && !outside) continue;  // an edge sample mixes both
                const Yuv want = inside ? expected : black;
                const Yuv seen = sampleAt(*picture, x, y);
                EXPECT_NEAR(seen.y, want.y, 2) << x << "," << y;
                EXPECT_NEAR(seen.cb, want.cb, 2) << x << "," << y;
                EXPECT_NEAR(seen.cr, want.cr, 2) << x << "," << y;
            }
        }
    }
}

TEST(Yuv420Scaler, AnAreaOffTheColourGridOrOutsideThePictureIsRefused) {
    Yuv420PicturePool pool(8, 8, 1);
    const auto picture = pool.take();
    ASSERT_TRUE(picture);
    const auto bytes = packedColour(PackedPixelOrder::bgrx, 4, 4, {1, 2, 3});
    const PackedPixels source{bytes.data(), 4, 4, 16, PackedPixelOrder::bgrx};
    for (const PixelRect area :
         {PixelRect{1, 0, 4, 4}, PixelRect{0, 3, 4, 4}, PixelRect{6, 0, 4, 4}, PixelRect{0, 0, 0, 4}}) {
        Yuv420Scaler scaler;
        EXPECT_THROW(scaler.draw(source, *picture, area), MediaError) << area.x << "," << area.y << " " << area.width;
    }
}

TEST(Yuv420PicturePool, LendsAtMostItsCapacityAndReusesWhatComesBack) {
    auto pool = std::make_unique<Yuv420PicturePool>(64, 32, 2);
    auto first = pool->take();
    auto second = pool->take();
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_EQ(first->width, 64);
    EXPECT_EQ(first->height, 32);
    EXPECT_EQ(first->format, AV_PIX_FMT_YUV420P);
    EXPECT_EQ(first->colorspace, AVCOL_SPC_BT709);
    EXPECT_EQ(pool->take(), nullptr);

    const std::uint8_t* planes = first->data[0];
    first.reset();
    const auto again = pool->take();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->data[0], planes);
    EXPECT_EQ(pool->take(), nullptr);

    // A picture still held when the pool goes stays whole until let go.
    pool.reset();
    second->data[0][second->linesize[0] * 31 + 63] = 7;
    EXPECT_EQ(second->data[0][second->linesize[0] * 31 + 63], 7);
}

}  // namespace
}  // namespace zentrabo::platform
