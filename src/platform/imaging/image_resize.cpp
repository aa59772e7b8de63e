#include "platform/imaging/image_resize.hpp"

#include <algorithm>
#include <cmath>

namespace zentrabo::platform {

namespace {

// The source pixels that make up one output pixel along one axis, and their
// normalised weights.
struct Contribution {
    std::uint32_t first = 0;
    std::vector<float> weights;
};

std::vector<Contribution> contributions(std::uint32_t sourceOffset, std::uint32_t sourceLength,
                                        std::uint32_t outputLength) {
    const double scale = static_cast<double>(sourceLength) / outputLength;
    const double radius = std::max(1.0, scale);
    std::vector<Contribution> result(outputLength);
    for (std::uint32_t index = 0; index < outputLength; ++index) {
        const double centre = (index + 0.5) * scale;
        const auto first = static_cast<std::int64_t>(std::max(0.0, std::floor(centre - radius)));
        const auto last = static_cast<std::int64_t>(std::min<double>(sourceLength - 1, std::ceil(centre + radius)));
        Contribution& contribution = result[index];
        double total = 0;
        std::vector<double> weights;
        for (std::int64_t source = first; source <= last; ++source) {
            const double weight = std::max(0.0, 1.0 - std::abs(source + 0.5 - centre) / radius);
            weights.push_back(weight);
            total += weight;
        }
        // The pixel under the centre always has a positive weight, so total > 0.
        // Zero weights at both ends are trimmed so each output pixel reads only what it uses.
        std::size_t begin = 0;
        std::size_t end = weights.size();
        while (begin + 1 < end && weights[begin] == 0) ++begin;
        while (end - 1 > begin && weights[end - 1] == 0) --end;
        contribution.first = sourceOffset + static_cast<std::uint32_t>(first) + static_cast<std::uint32_t>(begin);
        for (std::size_t position = begin; position < end; ++position) {
            contribution.weights.push_back(static_cast<float>(weights[position] / total));
        }
    }
    return result;
}

std::uint8_t toByte(float value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

RgbaImage resizeImage(const RgbaImage& image, const PixelRect& source, std::uint32_t width, std::uint32_t height) {
    if (width == 0 || height == 0 || source.width == 0 || source.height == 0 ||
        std::uint64_t{source.x} + source.width > image.width ||
        std::uint64_t{source.y} + source.height > image.height ||
        image.pixels.size() != image.rowBytes() * image.height) {
        throw ImagingError(ImagingError::Case::invalidDimensions, "");
    }
    const auto columns = contributions(source.x, source.width, width);
    const auto rows = contributions(source.y, source.height, height);

    // Horizontally filtered source rows (premultiplied RGBA floats) in a ring
    // that holds the widest vertical window, so memory stays a few output rows.
    std::size_t ringSize = 1;
    for (const auto& row : rows) ringSize = std::max(ringSize, row.weights.size());
    const std::size_t rowFloats = std::size_t{width} * 4;
    std::vector<float> ring(ringSize * rowFloats);
    std::vector<std::int64_t> ringRow(ringSize, -1);

    auto filteredRow = [&](std::uint32_t sourceRow) -> const float* {
        const std::size_t slot = sourceRow % ringSize;
        float* out = ring.data() + slot * rowFloats;
        if (ringRow[slot] == sourceRow) return out;
        ringRow[slot] = sourceRow;
        for (std::uint32_t x = 0; x < width; ++x) {
            float sum[4] = {0, 0, 0, 0};
            const std::uint8_t* in = image.pixel(columns[x].first, sourceRow);
            for (float weight : columns[x].weights) {
                const float alphaWeight = weight * in[3] / 255.0f;
                sum[0] += in[0] * alphaWeight;
                sum[1] += in[1] * alphaWeight;
                sum[2] += in[2] * alphaWeight;
                sum[3] += in[3] * weight;
                in += RgbaImage::bytesPerPixel;
            }
            std::copy(sum, sum + 4, out + std::size_t{x} * 4);
        }
        return out;
    };

    RgbaImage output(width, height);
    std::vector<float> accumulator(rowFloats);
    for (std::uint32_t y = 0; y < height; ++y) {
        std::fill(accumulator.begin(), accumulator.end(), 0.0f);
        std::uint32_t sourceRow = rows[y].first;
        for (float weight : rows[y].weights) {
            const float* in = filteredRow(sourceRow++);
            for (std::size_t index = 0; index < rowFloats; ++index) accumulator[index] += in[index] * weight;
        }
        for (std::uint32_t x = 0; x < width; ++x) {
            const float* sum = accumulator.data() + std::size_t{x} * 4;
            std::uint8_t* out = output.pixel(x, y);
            const float alpha = sum[3];
            const float unpremultiply = alpha > 0 ? 255.0f / alpha : 0.0f;
            out[0] = toByte(sum[0] * unpremultiply);
            out[1] = toByte(sum[1] * unpremultiply);
            out[2] = toByte(sum[2] * unpremultiply);
            out[3] = toByte(alpha);
        }
    }
    return output;
}

RgbaImage resizeImage(const RgbaImage& image, std::uint32_t width, std::uint32_t height) {
    return resizeImage(image, PixelRect{0, 0, image.width, image.height}, width, height);
}

RgbaImage imageFittingWithin(RgbaImage image, std::uint32_t maximumLongSide) {
    if (maximumLongSide == 0) throw ImagingError(ImagingError::Case::invalidDimensions, "");
    const std::uint32_t longSide = std::max(image.width, image.height);
    if (longSide <= maximumLongSide || image.width == 0 || image.height == 0) return image;
    const double scale = static_cast<double>(maximumLongSide) / longSide;
    const auto side = [scale](std::uint32_t pixels) {
        return static_cast<std::uint32_t>(std::max(1.0, std::round(scale * pixels)));
    };
    return resizeImage(image, side(image.width), side(image.height));
}

}  // namespace zentrabo::platform
