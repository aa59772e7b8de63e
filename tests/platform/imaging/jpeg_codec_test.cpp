#include "platform/imaging/jpeg_codec.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

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

// Pixels read in place in any byte order compress to the very JPEG of the
// same picture in RGBA, rows padded or not; the unused byte is never read as
// colour.
TEST(JpegCodec, PackedPixelsOfEveryByteOrderEncodeAsTheirRgbaPicture) {
    const RgbaImage image = gradientImage(40, 30);
    const auto expected = encodeJpeg(image, 0.9);
    struct Case {
        PackedPixelOrder order;
        int red, green, blue, unused;  // byte offsets in a pixel
        std::size_t padding;
    };
    const Case cases[] = {
        {PackedPixelOrder::rgbx, 0, 1, 2, 3, 0},  {PackedPixelOrder::bgrx, 2, 1, 0, 3, 0},
        {PackedPixelOrder::xrgb, 1, 2, 3, 0, 12}, {PackedPixelOrder::xbgr, 3, 2, 1, 0, 4},
        {PackedPixelOrder::bgrx, 2, 1, 0, 3, 8},
    };
    for (const Case& c : cases) {
        const std::size_t stride = image.rowBytes() + c.padding;
        std::vector<std::uint8_t> bytes(stride * image.height, 0x5A);
        for (std::uint32_t y = 0; y < image.height; ++y) {
            for (std::uint32_t x = 0; x < image.width; ++x) {
                std::uint8_t* pixel = &bytes[y * stride + x * 4];
                pixel[c.red] = image.pixel(x, y)[0];
                pixel[c.green] = image.pixel(x, y)[1];
                pixel[c.blue] = image.pixel(x, y)[2];
                pixel[c.unused] = static_cast<std::uint8_t>(x * 7 + y);
            }
        }
        const PackedPixels packed{bytes.data(), image.width, image.height, stride, c.order};
        EXPECT_EQ(encodeJpeg(packed, 0.9), expected)
            << "order " << static_cast<int>(c.order) << ", padding " << c.padding;
    }
    try {
        encodeJpeg(PackedPixels{nullptr, 4, 4, 16, PackedPixelOrder::bgrx}, 0.9);
        FAIL() << "no pixels behind a size";
    } catch (const ImagingError& error) {
        EXPECT_EQ(error.errorCase(), ImagingError::Case::invalidDimensions);
    }
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
