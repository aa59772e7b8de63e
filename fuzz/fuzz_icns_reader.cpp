// Feeds arbitrary bytes to the .icns reader, from a heap block of exactly
// their size so AddressSanitizer stops any read past the end. A file either
// is refused with ImagingError or gives a picture within the limits whose
// pixel buffer matches its size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz_require.hpp"
#include "platform/imaging/icns_reader.hpp"

namespace {

using zentrabo::fuzzing::require;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo::platform;
    auto copy = std::make_unique<std::uint8_t[]>(size);
    std::copy(data, data + size, copy.get());
    ImageDecodeLimits limits;
    limits.maximumDimension = 2048;
    limits.maximumPixelCount = std::uint64_t{1} << 22;
    try {
        const RgbaImage image = decodeIcns(std::span<const std::uint8_t>(copy.get(), size), limits);
        require(image.width > 0 && image.height > 0);
        require(image.width <= limits.maximumDimension && image.height <= limits.maximumDimension);
        require(image.pixels.size() == image.rowBytes() * image.height);
    } catch (const ImagingError&) {
    }
    return 0;
}
