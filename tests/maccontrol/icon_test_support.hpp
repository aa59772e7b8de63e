#pragma once
// Pictures and bundles for the icon tests: files written where a test wants
// them, framed pictures to trim, and the colour an icon shows at a point.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/desktop/property_list.hpp"
#include "platform/imaging/image.hpp"
#include "platform/imaging/png_codec.hpp"

namespace zentrabo::test {

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline void writePicture(const std::filesystem::path& path, const platform::RgbaImage& image) {
    writeBytes(path, platform::encodePng(image));
}

// A bundle folder written by hand, as an installer would leave it.
inline void writeBundle(const std::filesystem::path& path, platform::PropertyListValue::Dictionary info) {
    std::filesystem::create_directories(path / "Contents" / "Resources");
    writePropertyListFile(path / "Contents" / "Info.plist",
                          platform::PropertyListValue(platform::PropertyListValue::Storage(std::move(info))));
}

// A side x side picture on an opaque backdrop with a block of content whose
// upper half is `top` and lower half `bottom`.
inline platform::RgbaImage framedPicture(std::uint32_t side, const platform::PixelRect& content, std::uint32_t top,
                                         std::uint32_t bottom, std::uint32_t backdrop = 0xFFFFFFFF) {
    platform::RgbaImage image(side, side, backdrop);
    for (std::uint32_t y = content.y; y < content.y + content.height; ++y) {
        const std::uint32_t colour = y < content.y + content.height / 2 ? top : bottom;
        for (std::uint32_t x = content.x; x < content.x + content.width; ++x) {
            std::uint8_t* pixel = image.pixel(x, y);
            for (int channel = 0; channel < 4; ++channel) {
                pixel[channel] = static_cast<std::uint8_t>(colour >> (24 - 8 * channel));
            }
        }
    }
    return image;
}

// The opaque colour at x, y of a PNG, give or take resampling.
inline void expectColour(const std::vector<std::uint8_t>& png, std::uint32_t x, std::uint32_t y, std::uint32_t rgba,
                         const char* what) {
    const auto image = platform::decodePng(png);
    ASSERT_EQ(image.width, 96u) << what;
    ASSERT_EQ(image.height, 96u) << what;
    const std::uint8_t* pixel = image.pixel(x, y);
    for (int channel = 0; channel < 4; ++channel) {
        EXPECT_NEAR(pixel[channel], static_cast<std::uint8_t>(rgba >> (24 - 8 * channel)), 8)
            << what << ": channel " << channel << " at " << x << ", " << y;
    }
}

}  // namespace zentrabo::test
