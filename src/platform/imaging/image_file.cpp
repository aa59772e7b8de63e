#include "platform/imaging/image_file.hpp"

#include "platform/imaging/exif_orientation.hpp"
#include "platform/imaging/icns_reader.hpp"
#include "platform/imaging/image_resize.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "platform/imaging/png_codec.hpp"
#include "platform/imaging/tiff_codec.hpp"
#include "platform/imaging/webp_codec.hpp"

namespace zentrabo::platform {

namespace {

RgbaImage decodeUpright(std::span<const std::uint8_t> data, ImageFileFormat format,
                        std::optional<std::uint32_t> maximumPixelSize, const ImageDecodeLimits& limits) {
    switch (format) {
    case ImageFileFormat::png:
        return decodePng(data, limits);
    case ImageFileFormat::tiff:
        return decodeTiff(data, limits);
    case ImageFileFormat::icns:
        return decodeIcns(data, limits);
    case ImageFileFormat::webp:
        return decodeWebp(data, limits);
    case ImageFileFormat::jpeg:
        break;
    }
    RgbaImage stored = maximumPixelSize ? decodeJpegScaled(data, *maximumPixelSize, limits) : decodeJpeg(data, limits);
    const auto orientation = jpegOrientation(data);
    return orientation ? uprightImage(std::move(stored), *orientation) : stored;
}

}  // namespace

std::optional<ImageFileFormat> imageFileFormat(std::span<const std::uint8_t> data) {
    if (isPng(data)) return ImageFileFormat::png;
    if (isJpeg(data)) return ImageFileFormat::jpeg;
    if (isTiff(data)) return ImageFileFormat::tiff;
    if (isIcns(data)) return ImageFileFormat::icns;
    if (isWebp(data)) return ImageFileFormat::webp;
    return std::nullopt;
}

RgbaImage decodeImageFile(std::span<const std::uint8_t> data, std::optional<std::uint32_t> maximumPixelSize,
                          const ImageDecodeLimits& limits) {
    const auto format = imageFileFormat(data);
    if (!format) throw ImagingError(ImagingError::Case::invalidImage, "not a PNG, JPEG, TIFF, icns or WebP file");
    if (maximumPixelSize == 0u) throw ImagingError(ImagingError::Case::invalidDimensions, "");
    RgbaImage image = decodeUpright(data, *format, maximumPixelSize, limits);
    return maximumPixelSize ? imageFittingWithin(std::move(image), *maximumPixelSize) : image;
}

}  // namespace zentrabo::platform
