#include "platform/imaging/picture_file.hpp"

#include "platform/imaging/image_file.hpp"
#include "platform/imaging/svg_image.hpp"

namespace zentrabo::platform {

RgbaImage decodePictureFile(std::span<const std::uint8_t> data, std::uint32_t maximumPixelSize) {
    if (imageFileFormat(data)) return decodeImageFile(data, maximumPixelSize);
    // Whatever librsvg parses as a document; anything else fails to parse.
    if (auto drawn = renderSvgWithin(data, maximumPixelSize)) return std::move(*drawn);
    throw ImagingError(ImagingError::Case::invalidImage, "not a raster picture or an SVG document");
}

}  // namespace zentrabo::platform
