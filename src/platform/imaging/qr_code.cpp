#include "platform/imaging/qr_code.hpp"

#include <qrencode.h>

#include <cerrno>
#include <limits>
#include <memory>

#include "platform/imaging/png_codec.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t maximumRenderedSide = 16384;
// Keeps size * size and the rendered side far from overflow.
constexpr std::uint32_t maximumQuietZone = 64;

QRecLevel libqrencodeLevel(QrErrorCorrection correction) {
    switch (correction) {
    case QrErrorCorrection::low:
        return QR_ECLEVEL_L;
    case QrErrorCorrection::medium:
        return QR_ECLEVEL_M;
    case QrErrorCorrection::quartile:
        return QR_ECLEVEL_Q;
    case QrErrorCorrection::high:
        return QR_ECLEVEL_H;
    }
    return QR_ECLEVEL_M;
}

struct QrcodeDeleter {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

}  // namespace

QrCode QrCode::encode(std::string_view text, QrErrorCorrection correction, std::uint32_t quietZone) {
    if (quietZone > maximumQuietZone) throw ImagingError(ImagingError::Case::invalidDimensions, "quiet zone");
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
        throw ImagingError(ImagingError::Case::qrCodeTextTooLong, "");
    }
    // Version 0 lets the library choose the smallest symbol that holds the data;
    // the data form keeps 8-bit mode for every byte, case included.
    errno = 0;
    std::unique_ptr<QRcode, QrcodeDeleter> symbol(QRcode_encodeData(static_cast<int>(text.size()),
                                                                    reinterpret_cast<const unsigned char*>(text.data()),
                                                                    0, libqrencodeLevel(correction)));
    if (!symbol) {
        if (errno == ERANGE) throw ImagingError(ImagingError::Case::qrCodeTextTooLong, "");
        throw ImagingError(ImagingError::Case::encodingFailed, "QR code");
    }
    const auto symbolSide = static_cast<std::uint32_t>(symbol->width);
    QrCode code(symbolSide + 2 * quietZone, quietZone);
    for (std::uint32_t y = 0; y < symbolSide; ++y) {
        for (std::uint32_t x = 0; x < symbolSide; ++x) {
            // Bit 0 of each byte marks a dark module; the other bits describe its role.
            code.modules_[(y + quietZone) * code.size_ + x + quietZone] = (symbol->data[y * symbolSide + x] & 1) != 0;
        }
    }
    return code;
}

bool QrCode::isDark(std::uint32_t x, std::uint32_t y) const {
    return x < size_ && y < size_ && modules_[y * size_ + x];
}

RgbaImage QrCode::render(std::uint32_t pixelsPerModule) const {
    if (pixelsPerModule == 0 || pixelsPerModule > maximumRenderedSide / size_) {
        throw ImagingError(ImagingError::Case::invalidDimensions, "QR code scale");
    }
    const std::uint32_t side = size_ * pixelsPerModule;
    RgbaImage image(side, side, 0xFFFFFFFF);
    for (std::uint32_t y = 0; y < side; ++y) {
        for (std::uint32_t x = 0; x < side; ++x) {
            if (isDark(x / pixelsPerModule, y / pixelsPerModule)) {
                std::uint8_t* pixel = image.pixel(x, y);
                pixel[0] = pixel[1] = pixel[2] = 0;
            }
        }
    }
    return image;
}

std::vector<std::uint8_t> QrCode::png(std::uint32_t pixelsPerModule) const {
    return encodePng(render(pixelsPerModule));
}

}  // namespace zentrabo::platform
