// Feeds arbitrary bytes to the image-file decoder, which tells PNG, JPEG,
// TIFF and .icns apart by signature. The first byte asks for a thumbnail of
// that long side (0: the full size, so both JPEG decodes run); the rest is
// the file, in a heap block of exactly its size so AddressSanitizer stops
// any read past the end. A file is refused with ImagingError or gives an
// upright picture within the limits whose pixel buffer matches its size; the
// limits are checked before pixel memory exists, so a file that declares a
// huge picture is refused at once (libFuzzer's memory cap enforces it).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "fuzz_require.hpp"
#include "platform/imaging/image_file.hpp"

namespace {

using zentrabo::fuzzing::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo::platform;
    if (size == 0) return 0;
    const std::optional<std::uint32_t> thumbnailSide =
        data[0] == 0 ? std::nullopt : std::optional<std::uint32_t>(data[0]);
    const std::size_t fileSize = size - 1;
    auto file = std::make_unique<std::uint8_t[]>(fileSize);
    std::copy(data + 1, data + size, file.get());
    ImageDecodeLimits limits;
    limits.maximumDimension = 2048;
    limits.maximumPixelCount = std::uint64_t{1} << 22;
    try {
        const RgbaImage image =
            decodeImageFile(std::span<const std::uint8_t>(file.get(), fileSize), thumbnailSide, limits);
        require(image.width > 0 && image.height > 0);
        require(image.width <= limits.maximumDimension && image.height <= limits.maximumDimension);
        require(std::uint64_t{image.width} * image.height <= limits.maximumPixelCount);
        require(image.pixels.size() == image.rowBytes() * image.height);
        if (thumbnailSide) require(std::max(image.width, image.height) <= *thumbnailSide);
    } catch (const ImagingError&) {
    }
    return 0;
}
