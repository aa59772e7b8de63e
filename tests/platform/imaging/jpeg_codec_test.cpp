#include "platform/imaging/jpeg_codec.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace zentrabo::platform {
namespace {

// A smooth picture with some fine detail, like a desktop screenshot.
RgbaImage gradientImage(std::uint32_t width, std::uint32_t height) {
    RgbaImage image(width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 255 / width);
            pixel[1] = static_cast<std::uint8_t>(y * 255 / height);
            pixel[2] = static_cast<std::uint8_t>(((x / 4 + y / 4) % 2) * 60 + 100);
            pixel[3] = 255;
        }
    }
    return image;
}

TEST(JpegCodec, EncodesAWellFormedJpegOfTheImageSize) {
    const RgbaImage image = gradientImage(40, 30);
    const auto jpeg = encodeJpeg(image, 0.9);
    ASSERT_GT(jpeg.size(), 4u);
    EXPECT_TRUE(isJpeg(jpeg));
    EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);  // end-of-image marker
    EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);

    const RgbaImage decoded = decodeJpeg(jpeg);
    ASSERT_EQ(decoded.width, 40u);
    ASSERT_EQ(decoded.height, 30u);
    long totalError = 0;
    for (std::size_t index = 0; index < image.pixels.size(); ++index) {
        if (index % 4 == 3) {
            EXPECT_EQ(decoded.pixels[index], 255);
        } else {
            totalError += std::labs(long{decoded.pixels[index]} - image.pixels[index]);
        }
    }
    // Chroma is subsampled, so the fine blue checks soften a little.
    EXPECT_LT(totalError / static_cast<long>(40 * 30 * 3), 8);
}

TEST(JpegCodec, QualityControlsTheSize) {
    const RgbaImage image = gradientImage(128, 96);
    const auto low = encodeJpeg(image, 0.2);
    const auto high = encodeJpeg(image, 0.9);
    EXPECT_LT(low.size(), high.size());
    // Out-of-range qualities are clamped rather than refused.
    EXPECT_EQ(encodeJpeg(image, 7.0), encodeJpeg(image, 1.0));
    EXPECT_EQ(encodeJpeg(image, -1.0), encodeJpeg(image, 0.0));
}

TEST(JpegCodec, DecodingRefusesGarbageAndOversizedImages) {
    const std::vector<std::uint8_t> garbage = {0xFF, 0xD8, 0xFF, 0x00, 0x13, 0x37};
    try {
        decodeJpeg(garbage);
        FAIL();
    } catch (const ImagingError& error) {
        EXPECT_EQ(error.errorCase(), ImagingError::Case::invalidImage);
    }
    ImageDecodeLimits limits;
    limits.maximumDimension = 39;
    try {
        decodeJpeg(encodeJpeg(gradientImage(40, 30), 0.5), limits);
        FAIL();
    } catch (const ImagingError& error) {
        EXPECT_EQ(error.errorCase(), ImagingError::Case::imageTooLarge);
    }
}

}  // namespace
}  // namespace zentrabo::platform
