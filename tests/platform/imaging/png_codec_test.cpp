#include "platform/imaging/png_codec.hpp"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstring>

namespace zentrabo::platform {
namespace {

RgbaImage patternImage(std::uint32_t width, std::uint32_t height) {
    RgbaImage image(width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(x * 7);
            pixel[1] = static_cast<std::uint8_t>(y * 13);
            pixel[2] = static_cast<std::uint8_t>(x ^ y);
            pixel[3] = static_cast<std::uint8_t>((x + y) * 29);  // every alpha, 0 and partial included
        }
    }
    return image;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t index = 0; index < size; ++index) {
        crc ^= data[index];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void writeBigEndian(std::uint8_t* out, std::uint32_t value) {
    for (int index = 0; index < 4; ++index) out[index] = static_cast<std::uint8_t>(value >> (24 - 8 * index));
}

TEST(PngCodec, RoundTripKeepsEveryPixelAndAlpha) {
    const RgbaImage image = patternImage(37, 5);
    const auto png = encodePng(image);
    ASSERT_TRUE(isPng(png));
    EXPECT_EQ(decodePng(png), image);
}

TEST(PngCodec, GreyImagesDecodeToOpaqueRgba) {
    const std::array<std::uint8_t, 6> grey = {0, 51, 102, 153, 204, 255};
    png_image written;
    std::memset(&written, 0, sizeof written);
    written.version = PNG_IMAGE_VERSION;
    written.width = 3;
    written.height = 2;
    written.format = PNG_FORMAT_GRAY;
    std::vector<std::uint8_t> png(PNG_IMAGE_PNG_SIZE_MAX(written));
    png_alloc_size_t size = png.size();
    ASSERT_TRUE(png_image_write_to_memory(&written, png.data(), &size, 0, grey.data(), 0, nullptr));
    png.resize(size);

    const RgbaImage image = decodePng(png);
    ASSERT_EQ(image.width, 3u);
    ASSERT_EQ(image.height, 2u);
    for (std::size_t index = 0; index < grey.size(); ++index) {
        const std::uint8_t* pixel = image.pixels.data() + index * 4;
        EXPECT_EQ(pixel[0], grey[index]);
        EXPECT_EQ(pixel[1], grey[index]);
        EXPECT_EQ(pixel[2], grey[index]);
        EXPECT_EQ(pixel[3], 255);
    }
}

TEST(PngCodec, RefusesDataThatIsNoPng) {
    const std::vector<std::uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    auto truncated = encodePng(patternImage(16, 16));
    truncated.resize(truncated.size() / 2);
    for (const auto& data : {std::vector<std::uint8_t>{}, text, truncated}) {
        try {
            decodePng(data);
            ADD_FAILURE() << "decoded " << data.size() << " bytes";
        } catch (const ImagingError& error) {
            EXPECT_EQ(error.errorCase(), ImagingError::Case::invalidImage);
        }
    }
}

TEST(PngCodec, HugeDeclaredSizeIsRefusedBeforeAllocating) {
    // A valid 1 x 1 file whose header is rewritten to claim 100000 x 100000
    // pixels (40 GB of RGBA): the sanitizer would abort on such an allocation.
    auto png = encodePng(RgbaImage(1, 1, 0x11223344));
    std::uint8_t* header = png.data() + 8;  // IHDR: length, type, width, height, ...
    ASSERT_EQ(std::memcmp(header + 4, "IHDR", 4), 0);
    writeBigEndian(header + 8, 100000);
    writeBigEndian(header + 12, 100000);
    writeBigEndian(header + 8 + 13, crc32(header + 4, 17));
    try {
        decodePng(png);
        FAIL();
    } catch (const ImagingError& error) {
        EXPECT_EQ(error.errorCase(), ImagingError::Case::imageTooLarge);
    }

    ImageDecodeLimits small;
    small.maximumPixelCount = 63;
    EXPECT_THROW(decodePng(encodePng(patternImage(8, 8)), small), ImagingError);
    small.maximumPixelCount = 64;
    EXPECT_EQ(decodePng(encodePng(patternImage(8, 8)), small).width, 8u);
}

TEST(PngCodec, RefusesToEncodeInconsistentImages) {
    RgbaImage image = patternImage(4, 4);
    image.pixels.pop_back();
    EXPECT_THROW(encodePng(image), ImagingError);
    EXPECT_THROW(encodePng(RgbaImage()), ImagingError);
}

}  // namespace
}  // namespace zentrabo::platform
