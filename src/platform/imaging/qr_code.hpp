#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

enum class QrErrorCorrection { low, medium, quartile, high };

// A QR code symbol as a square matrix of modules, surrounded by a light quiet
// zone. Text is encoded as bytes (8-bit mode), so its case and every UTF-8
// sequence survive as they are.
class QrCode {
public:
    // The border that scanners expect around a symbol, in modules.
    static constexpr std::uint32_t standardQuietZone = 4;

    // Throws ImagingError: qrCodeTextTooLong when the text does not fit in the
    // largest symbol at this correction level, encodingFailed otherwise.
    static QrCode encode(std::string_view text, QrErrorCorrection correction,
                         std::uint32_t quietZone = standardQuietZone);

    // Modules per side, quiet zone included.
    std::uint32_t size() const { return size_; }
    std::uint32_t quietZone() const { return quietZone_; }
    // Modules per side of the symbol alone (21 for version 1, up to 177).
    std::uint32_t symbolSize() const { return size_ - 2 * quietZone_; }
    // (0, 0) is the top-left module of the quiet zone; outside the matrix is light.
    bool isDark(std::uint32_t x, std::uint32_t y) const;

    // Black modules on white, each module a square of pixelsPerModule pixels.
    // Throws ImagingError (invalidDimensions) for 0 or a side beyond 16384 pixels.
    RgbaImage render(std::uint32_t pixelsPerModule) const;
    // render() encoded as PNG.
    std::vector<std::uint8_t> png(std::uint32_t pixelsPerModule) const;

private:
    QrCode(std::uint32_t size, std::uint32_t quietZone) : size_(size), quietZone_(quietZone), modules_(size * size) {}

    std::uint32_t size_;
    std::uint32_t quietZone_;
    std::vector<bool> modules_;  // row by row, true for dark
};

}  // namespace zentrabo::platform
