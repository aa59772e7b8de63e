#pragma once
// Pictures whose four quadrants have their own colours, so a test can tell
// which way up a decoded picture stands, and JPEG files that carry an EXIF
// orientation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/imaging/image.hpp"

namespace zentrabo::test {

inline constexpr std::uint32_t red = 0xFF0000FF;
inline constexpr std::uint32_t green = 0x00FF00FF;
inline constexpr std::uint32_t blue = 0x0000FFFF;
inline constexpr std::uint32_t white = 0xFFFFFFFF;

// Top left, top right, bottom left, bottom right.
using Quadrants = std::array<std::uint32_t, 4>;

// Upright, every test picture is red, green / blue, white.
inline constexpr Quadrants uprightQuadrants = {red, green, blue, white};

inline platform::RgbaImage quadrantPicture(std::uint32_t width, std::uint32_t height, const Quadrants& colours) {
    platform::RgbaImage image(width, height);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint32_t rgba = colours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
            std::uint8_t* pixel = image.pixel(x, y);
            pixel[0] = static_cast<std::uint8_t>(rgba >> 24);
            pixel[1] = static_cast<std::uint8_t>(rgba >> 16);
            pixel[2] = static_cast<std::uint8_t>(rgba >> 8);
            pixel[3] = static_cast<std::uint8_t>(rgba);
        }
    }
    return image;
}

// The colour at x, y is rgba, give or take what JPEG compression changes.
inline void expectColourAt(const platform::RgbaImage& image, std::uint32_t x, std::uint32_t y, std::uint32_t rgba) {
    ASSERT_LT(x, image.width);
    ASSERT_LT(y, image.height);
    const std::uint8_t* pixel = image.pixel(x, y);
    for (int channel = 0; channel < 3; ++channel) {
        const int expected = static_cast<std::uint8_t>(rgba >> (24 - 8 * channel));
        EXPECT_NEAR(pixel[channel], expected, 24) << "channel " << channel << " at " << x << ", " << y;
    }
}

// Each quadrant shows its colour at its centre.
inline void expectQuadrants(const platform::RgbaImage& image, const Quadrants& colours) {
    const std::uint32_t left = image.width / 4;
    const std::uint32_t right = image.width * 3 / 4;
    const std::uint32_t top = image.height / 4;
    const std::uint32_t bottom = image.height * 3 / 4;
    expectColourAt(image, left, top, colours[0]);
    expectColourAt(image, right, top, colours[1]);
    expectColourAt(image, left, bottom, colours[2]);
    expectColourAt(image, right, bottom, colours[3]);
}

// How a picture that stands upright as uprightQuadrants is stored under an
// orientation: the stored quadrants, and whether width and height swap.
struct StoredOrientation {
    std::uint16_t orientation;
    Quadrants stored;
    bool swapsSides;
};

// Worked out from what each value says of the stored first row and column
// (3: upside down; 6: the first row is the right side, to be turned a
// quarter clockwise; 8: the first row is the left side, a quarter
// anticlockwise).
inline constexpr std::array<StoredOrientation, 4> storedOrientations = {{
    {1, {red, green, blue, white}, false},
    {3, {white, blue, green, red}, false},
    {6, {green, white, red, blue}, true},
    {8, {blue, red, white, green}, true},
}};

// The JPEG with an EXIF APP1 segment holding only the orientation, right
// after the start-of-image marker.
inline std::vector<std::uint8_t> withExifOrientation(const std::vector<std::uint8_t>& jpeg, std::uint16_t orientation,
                                                     bool bigEndian) {
    const auto u16 = [bigEndian](std::uint16_t v) {
        return bigEndian ? std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)}
                         : std::array<std::uint8_t, 2>{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    };
    std::vector<std::uint8_t> tiff = {static_cast<std::uint8_t>(bigEndian ? 'M' : 'I'),
                                      static_cast<std::uint8_t>(bigEndian ? 'M' : 'I')};
    const auto append16 = [&](std::uint16_t v) {
        const auto bytes = u16(v);
        tiff.insert(tiff.end(), bytes.begin(), bytes.end());
    };
    append16(42);
    append16(bigEndian ? 0 : 8);  // first directory at offset 8, as 32 bits
    append16(bigEndian ? 8 : 0);
    append16(1);  // one entry
    append16(0x0112);
    append16(3);  // SHORT
    append16(bigEndian ? 0 : 1);
    append16(bigEndian ? 1 : 0);
    append16(orientation);
    append16(0);
    append16(0);  // no next directory
    append16(0);

    std::vector<std::uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    const std::size_t length = payload.size() + 2;
    const std::array<std::uint8_t, 4> segmentStart = {0xFF, 0xE1, static_cast<std::uint8_t>(length >> 8),
                                                      static_cast<std::uint8_t>(length)};
    // Sized once and filled in place: growing a two-byte vector by inserts
    // makes GCC 12 at -O3 warn of a copy out of bounds that cannot happen.
    std::vector<std::uint8_t> result(jpeg.size() + segmentStart.size() + payload.size());
    auto out = std::copy(jpeg.begin(), jpeg.begin() + 2, result.begin());
    out = std::copy(segmentStart.begin(), segmentStart.end(), out);
    out = std::copy(payload.begin(), payload.end(), out);
    std::copy(jpeg.begin() + 2, jpeg.end(), out);
    return result;
}

}  // namespace zentrabo::test
