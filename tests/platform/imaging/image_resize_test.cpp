#include "platform/imaging/image_resize.hpp"

#include <gtest/gtest.h>

namespace zentrabo::platform {
namespace {

TEST(ImageResize, SameSizeIsAnExactCopy) {
    RgbaImage image(9, 7);
    for (std::size_t index = 0; index < image.pixels.size(); ++index) {
        image.pixels[index] = static_cast<std::uint8_t>(index * 31 + 5);
    }
    for (std::size_t index = 3; index < image.pixels.size(); index += 4) image.pixels[index] = 255;
    EXPECT_EQ(resizeImage(image, 9, 7), image);
}

TEST(ImageResize, ShrinkingAveragesInsteadOfSampling) {
    // A one-pixel checkerboard would alias to black or white if sampled.
    RgbaImage checkerboard(64, 64);
    for (std::uint32_t y = 0; y < 64; ++y) {
        for (std::uint32_t x = 0; x < 64; ++x) {
            std::uint8_t* pixel = checkerboard.pixel(x, y);
            pixel[0] = pixel[1] = pixel[2] = ((x + y) % 2) ? 255 : 0;
            pixel[3] = 255;
        }
    }
    const RgbaImage small = resizeImage(checkerboard, 16, 16);
    for (std::uint32_t y = 0; y < 16; ++y) {
        for (std::uint32_t x = 0; x < 16; ++x) {
            EXPECT_NEAR(small.pixel(x, y)[0], 128, 2) << x << "," << y;
            EXPECT_EQ(small.pixel(x, y)[3], 255);
        }
    }
}

TEST(ImageResize, TransparentPixelsDoNotBleedTheirColour) {
    // Opaque red beside fully transparent green: every output pixel that is
    // visible at all must be pure red, with alpha falling off at the edge.
    RgbaImage image(8, 8, 0x00FF0000);
    for (std::uint32_t y = 0; y < 8; ++y) {
        for (std::uint32_t x = 0; x < 4; ++x) std::copy_n("\xFF\x00\x00\xFF", 4, image.pixel(x, y));
    }
    const RgbaImage small = resizeImage(image, 3, 3);
    bool sawPartialAlpha = false;
    for (std::uint32_t x = 0; x < 3; ++x) {
        const std::uint8_t* pixel = small.pixel(x, 1);
        if (pixel[3] == 0) continue;
        EXPECT_EQ(pixel[0], 255);
        EXPECT_EQ(pixel[1], 0);
        sawPartialAlpha = sawPartialAlpha || pixel[3] < 255;
    }
    EXPECT_TRUE(sawPartialAlpha);
}

TEST(ImageResize, ReadsOnlyTheSourceRectangle) {
    RgbaImage image(20, 10, 0x000000FF);
    for (std::uint32_t y = 2; y < 6; ++y) {
        for (std::uint32_t x = 10; x < 18; ++x) std::copy_n("\x10\x80\xF0\xFF", 4, image.pixel(x, y));
    }
    EXPECT_EQ(resizeImage(image, PixelRect{10, 2, 8, 4}, 30, 5), RgbaImage(30, 5, 0x1080F0FF));
}

TEST(ImageResize, RefusesEmptySizesAndRectanglesOutsideTheImage) {
    const RgbaImage image(10, 10);
    EXPECT_THROW(resizeImage(image, 0, 5), ImagingError);
    EXPECT_THROW(resizeImage(image, PixelRect{5, 5, 6, 1}, 4, 4), ImagingError);
    EXPECT_THROW(resizeImage(image, PixelRect{0, 0, 0, 10}, 4, 4), ImagingError);
    EXPECT_THROW(resizeImage(image, PixelRect{0xFFFFFFFF, 0, 2, 2}, 4, 4), ImagingError);
}

}  // namespace
}  // namespace zentrabo::platform
