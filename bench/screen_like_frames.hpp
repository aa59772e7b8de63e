#pragma once
// Synthetic screen-like frames for the video benchmarks, and their way
// through our encoder path.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <vector>

#include "model/records/stream_records.hpp"
#include "platform/dispatch/manual_clock.hpp"
#include "screenstream/make_video_encoder.hpp"

namespace zentrabo::bench {

struct FrameSize {
    int width;
    int height;
};

// A desktop: a gradient, windows with title bars and lines of glyph-like
// strokes, and a document whose text scrolls a few rows each frame, with a
// pointer that moves. Frame i is drawn from prepared pieces, so drawing costs
// both paths the same few copies.
class ScreenLikeFrames {
public:
    explicit ScreenLikeFrames(FrameSize size)
        : size_(size), background_(bytes(size.height)), text_(bytes(size.height * 3)) {
        std::mt19937 random(7);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                set(background_, x, y, 40 + y * 80 / size.height, 60 + x * 60 / size.width, 110, 255);
            }
        }
        for (int window = 0; window < 6; ++window) {
            const int left = static_cast<int>(random() % (size.width / 2)),
                      top = static_cast<int>(random() % (size.height / 2));
            const int right = std::min(size.width, left + size.width / 3),
                      bottom = std::min(size.height, top + size.height / 3);
            for (int y = top; y < bottom; ++y) {
                for (int x = left; x < right; ++x) {
                    const bool title = y < top + 28;
                    set(background_, x, y, title ? 210 : 250, title ? 210 : 250, title ? 215 : 250, 255);
                }
            }
            drawGlyphs(background_, left + 12, top + 40, right - 12, bottom - 8, random);
        }
        for (int y = 0; y < size.height * 3; ++y) {
            for (int x = 0; x < documentWidth(); ++x) set(text_, x, y, 255, 255, 255, 255);
        }
        drawGlyphs(text_, 16, 8, documentWidth() - 16, size.height * 3 - 8, random);
    }

    // Draws frame index into pixels (width * height * 4 bytes).
    void draw(int index, std::vector<std::uint8_t>& pixels) const {
        pixels = background_;
        const std::size_t row = static_cast<std::size_t>(size_.width) * 4;
        const int scroll = (index * 6) % (size_.height * 2);
        const int left = size_.width / 2, top = size_.height / 8, height = size_.height * 3 / 4;
        for (int y = 0; y < height; ++y) {
            std::copy_n(&text_[(y + scroll) * row], documentWidth() * 4, &pixels[(top + y) * row + left * 4]);
        }
        const int pointerX = (index * 17) % (size_.width - 16), pointerY = (index * 9) % (size_.height - 24);
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x <= y * 16 / 24; ++x) {
                std::uint8_t* pixel = &pixels[(pointerY + y) * row + (pointerX + x) * 4];
                pixel[0] = pixel[1] = pixel[2] = 0;
            }
        }
    }

private:
    std::vector<std::uint8_t> bytes(int rows) const {
        return std::vector<std::uint8_t>(static_cast<std::size_t>(size_.width) * rows * 4);
    }
    int documentWidth() const { return size_.width * 2 / 5; }
    void set(std::vector<std::uint8_t>& pixels, int x, int y, int r, int g, int b, int a) const {
        std::uint8_t* pixel = &pixels[(static_cast<std::size_t>(y) * size_.width + x) * 4];
        pixel[0] = static_cast<std::uint8_t>(r);
        pixel[1] = static_cast<std::uint8_t>(g);
        pixel[2] = static_cast<std::uint8_t>(b);
        pixel[3] = static_cast<std::uint8_t>(a);
    }
    // Lines of 7 x 11 glyphs made of random strokes, as text looks to an encoder.
    void drawGlyphs(std::vector<std::uint8_t>& pixels, int left, int top, int right, int bottom,
                    std::mt19937& random) const {
        for (int line = top; line + 11 < bottom; line += 18) {
            for (int glyph = left; glyph + 7 < right; glyph += 9) {
                if (random() % 7 == 0) continue;  // a space
                const std::uint32_t strokes = random();
                for (int y = 0; y < 11; ++y) {
                    for (int x = 0; x < 7; ++x) {
                        if ((strokes >> ((x + y * 3) % 32)) & 1) set(pixels, glyph + x, line + y, 20, 20, 30, 255);
                    }
                }
            }
        }
    }

    FrameSize size_;
    std::vector<std::uint8_t> background_;
    std::vector<std::uint8_t> text_;
};

// Encodes frameCount frames at the request's codec and bitrate, as a stream
// would, and answers the bytes of the video payloads; a still sequence
// repeats the first frame.
inline std::size_t encodeThroughOurPath(const ScreenLikeFrames& frames, const RemoteScreenStreamRequest& request,
                                        FrameSize size, int framesPerSecond, int frameCount, bool moving = true) {
    platform::ManualClock clock;
    std::size_t bytes = 0;
    auto encoder = makeVideoEncoder(
        request, size.width, size.height, framesPerSecond,
        [&](RemoteScreenStreamFrame frame) { bytes += frame.payload.size(); }, clock);
    CapturedVideoFrame frame;
    frame.image.width = static_cast<std::uint32_t>(size.width);
    frame.image.height = static_cast<std::uint32_t>(size.height);
    for (int index = 0; index < frameCount; ++index) {
        if (moving || index == 0) frames.draw(index, frame.image.pixels);
        frame.presentationTime = std::chrono::nanoseconds(std::int64_t{index} * 1'000'000'000 / framesPerSecond);
        encoder->encode(frame);
    }
    encoder->shutdown();
    return bytes;
}

}  // namespace zentrabo::bench
