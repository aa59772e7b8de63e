// Feeds arbitrary bytes to the EXIF orientation reader. The first byte
// chooses what the rest is: an APP1 payload on its own, or a whole JPEG file
// whose markers are walked to find one. The segment found is read again from
// a copy exactly its size, so AddressSanitizer stops any read past the
// segment, and that answer must equal the one from the whole file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "fuzz_require.hpp"
#include "platform/imaging/exif_orientation.hpp"

namespace {

using zentrabo::fuzzing::require;

// The bytes in a heap block of exactly their size.
std::unique_ptr<std::uint8_t[]> exactCopy(std::span<const std::uint8_t> bytes) {
    auto copy = std::make_unique<std::uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zentrabo::platform;
    if (size == 0) return 0;
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        const auto copy = exactCopy(input);
        const auto orientation = exifOrientation({copy.get(), input.size()});
        require(!orientation ||
                (*orientation >= ImageOrientation::topLeft && *orientation <= ImageOrientation::leftBottom));
        return 0;
    }
    const auto segment = jpegExifSegment(input);
    const auto orientation = jpegOrientation(input);
    if (!segment) {
        require(!orientation);
        return 0;
    }
    require(segment->data() >= input.data() && segment->data() + segment->size() <= input.data() + input.size());
    const auto copy = exactCopy(*segment);
    require(exifOrientation({copy.get(), segment->size()}) == orientation);
    return 0;
}
