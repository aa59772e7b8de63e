#include "platform/desktop/virtual/capture_scene.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/imaging/image_resize.hpp"

namespace zentrabo::platform {

namespace {

// Sizes in points, so a scene looks alike at every scale.
constexpr double blockSize = 16;
constexpr double bandSpeed = 96;  // points a second
constexpr double bandFraction = 0.125;
constexpr double cursorHeight = 18;
constexpr std::uint32_t black = 0x000000FF;
constexpr std::uint32_t white = 0xFFFFFFFF;

// Fills pixels [x0, x1) x [y0, y1), cut to the image.
void fillPixels(RgbaImage& image, double x0, double y0, double x1, double y1, std::uint32_t rgba) {
    const auto cut = [](double v, std::uint32_t limit) {
        return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, static_cast<long>(limit)));
    };
    const std::uint32_t left = cut(x0, image.width), right = cut(x1, image.width);
    const std::uint32_t top = cut(y0, image.height), bottom = cut(y1, image.height);
    if (left >= right || top >= bottom) return;
    const std::uint8_t colour[4] = {static_cast<std::uint8_t>(rgba >> 24), static_cast<std::uint8_t>(rgba >> 16),
                                    static_cast<std::uint8_t>(rgba >> 8), static_cast<std::uint8_t>(rgba)};
    std::uint8_t* first = image.pixel(left, top);
    for (std::uint32_t x = left; x < right; ++x) std::memcpy(image.pixel(x, top), colour, 4);
    const std::size_t rowLength = std::size_t{right - left} * RgbaImage::bytesPerPixel;
    for (std::uint32_t y = top + 1; y < bottom; ++y) std::memcpy(image.pixel(left, y), first, rowLength);
}

// Scene drawing in global points.
class Painter {
public:
    Painter(RgbaImage& image, const CaptureScene& scene) : image_(image), scene_(scene) {}

    void fill(const Rect& points, std::uint32_t rgba) {
        fillPixels(image_, (points.minX() - scene_.origin.x) * scene_.scale,
                   (points.minY() - scene_.origin.y) * scene_.scale, (points.maxX() - scene_.origin.x) * scene_.scale,
                   (points.maxY() - scene_.origin.y) * scene_.scale, rgba);
    }

private:
    RgbaImage& image_;
    const CaptureScene& scene_;
};

// The colour with its red, green and blue scaled (above 1 towards white).
std::uint32_t shade(std::uint32_t rgba, double factor) {
    std::uint32_t result = rgba & 0xFF;
    for (int shift = 8; shift <= 24; shift += 8) {
        const double channel = (rgba >> shift) & 0xFF;
        const double shaded = factor <= 1 ? channel * factor : channel + (255 - channel) * (factor - 1);
        result |= static_cast<std::uint32_t>(std::clamp(std::lround(shaded), 0L, 255L)) << shift;
    }
    return result;
}

std::uint32_t blockHash(WindowID number, std::int64_t column, std::int64_t row) {
    std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ number;
    for (std::uint64_t part : {static_cast<std::uint64_t>(column), static_cast<std::uint64_t>(row)}) {
        h ^= part + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
        h *= 0xBF58476D1CE4E5B9ULL;
        h ^= h >> 31;
    }
    return static_cast<std::uint32_t>(h);
}

// A band a fraction of the area's width wide that slides left to right and
// comes round again.
Rect bandAt(const Rect& area, double time) {
    const double width = std::max(area.width * bandFraction, 4.0);
    const double travel = area.width + width;
    const double offset = std::fmod(time * bandSpeed, travel) - width;
    return {area.x + offset, area.y, width, area.height};
}

void drawWindow(Painter& painter, const CaptureScene::Window& window, double time) {
    const Rect& frame = window.frame;
    painter.fill(frame, window.color);
    const auto columns = static_cast<std::int64_t>(std::ceil(frame.width / blockSize));
    const auto rows = static_cast<std::int64_t>(std::ceil(frame.height / blockSize));
    const std::uint32_t blockColor = shade(window.color, 0.7);
    for (std::int64_t row = 0; row < rows; ++row) {
        for (std::int64_t column = 0; column < columns; ++column) {
            if (blockHash(window.number, column, row) % 3 != 0) continue;
            const double x = frame.x + column * blockSize, y = frame.y + row * blockSize;
            painter.fill({x, y, std::min(blockSize, frame.maxX() - x), std::min(blockSize, frame.maxY() - y)},
                         blockColor);
        }
    }
    painter.fill(bandAt(frame, time), shade(window.color, 1.5));
}

// An arrow of stacked rows, white with a black inside, its tip at the point.
void drawCursor(Painter& painter, Point tip) {
    for (int row = 0; row < cursorHeight; ++row) {
        const double width = row * 0.6 + 1;
        painter.fill({tip.x - 1, tip.y + row - 1, width + 2, 3}, white);
    }
    for (int row = 1; row < cursorHeight - 1; ++row) {
        painter.fill({tip.x, tip.y + row, row * 0.6, 1}, black);
    }
}

}  // namespace

RgbaImage drawCaptureScene(const CaptureScene& scene) {
    RgbaImage image;
    if (scene.picture && scene.picture->width == scene.width && scene.picture->height == scene.height) {
        image = *scene.picture;
    } else if (scene.picture && scene.picture->width > 0 && scene.picture->height > 0) {
        image = resizeImage(*scene.picture, scene.width, scene.height);
    } else {
        image = RgbaImage(scene.width, scene.height, scene.background);
    }
    Painter painter(image, scene);
    if (scene.showsDesktop) {
        const Rect desktop{scene.origin.x, scene.origin.y, scene.width / scene.scale, scene.height / scene.scale};
        painter.fill(bandAt(desktop, scene.time), shade(scene.background, 1.3));
    }
    for (const auto& window : scene.windows) drawWindow(painter, window, scene.time);
    if (scene.pointer) drawCursor(painter, *scene.pointer);
    return image;
}

}  // namespace zentrabo::platform
