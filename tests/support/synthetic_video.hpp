#pragma once
// RGBA pictures for encoder tests, the same on every run: noise, which no
// encoder can squeeze, and a calm picture with a block that moves.
#include <cstdint>
#include <random>
#include <vector>

namespace zentrabo::test {

using RgbaPixels = std::vector<std::uint8_t>;

inline RgbaPixels noisyPicture(int width, int height, std::uint32_t seed) {
    std::mt19937 random(seed);
    RgbaPixels pixels(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t index = 0; index < pixels.size(); ++index) {
        pixels[index] = index % 4 == 3 ? 0xFF : static_cast<std::uint8_t>(random());
    }
    return pixels;
}

inline RgbaPixels movingBlockPicture(int width, int height, int frameIndex) {
    RgbaPixels pixels(static_cast<std::size_t>(width) * height * 4);
    const int blockX = (frameIndex * 8) % width;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
            const bool inBlock = x >= blockX && x < blockX + 32 && y >= height / 4 && y < height / 2;
            pixel[0] = inBlock ? 0xF0 : static_cast<std::uint8_t>(x);
            pixel[1] = inBlock ? 0x20 : static_cast<std::uint8_t>(y);
            pixel[2] = 0x80;
            pixel[3] = 0xFF;
        }
    }
    return pixels;
}

}  // namespace zentrabo::test
