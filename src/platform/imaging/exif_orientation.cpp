#include "platform/imaging/exif_orientation.hpp"

#include <algorithm>
#include <array>

namespace zentrabo::platform {

namespace {

constexpr std::array<std::uint8_t, 6> exifHeader = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint16_t orientationTag = 0x0112;
constexpr std::uint16_t shortType = 3;
constexpr std::size_t directoryEntrySize = 12;

// Byte-order-aware reads inside one span; every read is checked against it.
class TiffBytes {
public:
    explicit TiffBytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    // Reads the byte-order mark and the magic number 42.
    bool readHeader() {
        if (bytes_.size() < 8) return false;
        if (bytes_[0] == 'I' && bytes_[1] == 'I') {
            bigEndian_ = false;
        } else if (bytes_[0] == 'M' && bytes_[1] == 'M') {
            bigEndian_ = true;
        } else {
            return false;
        }
        return read16(2) == 42;
    }

    bool holds(std::uint64_t offset, std::uint64_t length) const {
        return offset <= bytes_.size() && bytes_.size() - offset >= length;
    }

    std::optional<std::uint16_t> read16(std::uint64_t offset) const {
        if (!holds(offset, 2)) return std::nullopt;
        const std::uint16_t first = bytes_[offset];
        const std::uint16_t second = bytes_[offset + 1];
        return static_cast<std::uint16_t>(bigEndian_ ? (first << 8) | second : (second << 8) | first);
    }

    std::optional<std::uint32_t> read32(std::uint64_t offset) const {
        const auto high = read16(offset + (bigEndian_ ? 0 : 2));
        const auto low = read16(offset + (bigEndian_ ? 2 : 0));
        if (!high || !low) return std::nullopt;
        return (std::uint32_t{*high} << 16) | *low;
    }

private:
    std::span<const std::uint8_t> bytes_;
    bool bigEndian_ = false;
};

bool startsWithExifHeader(std::span<const std::uint8_t> payload) {
    return payload.size() >= exifHeader.size() && std::equal(exifHeader.begin(), exifHeader.end(), payload.begin());
}

}  // namespace

std::optional<std::span<const std::uint8_t>> jpegExifSegment(std::span<const std::uint8_t> jpeg) {
    if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return std::nullopt;
    std::size_t position = 2;
    while (position < jpeg.size()) {
        if (jpeg[position] != 0xFF) return std::nullopt;
        // Any number of fill bytes may stand before a marker.
        while (position < jpeg.size() && jpeg[position] == 0xFF) ++position;
        if (position >= jpeg.size()) return std::nullopt;
        const std::uint8_t marker = jpeg[position++];
        // The image data or its end: no metadata segment comes after.
        if (marker == 0xDA || marker == 0xD9) return std::nullopt;
        // Markers without a segment.
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (jpeg.size() - position < 2) return std::nullopt;
        const std::size_t length = (std::size_t{jpeg[position]} << 8) | jpeg[position + 1];
        if (length < 2 || jpeg.size() - position < length) return std::nullopt;
        const auto payload = jpeg.subspan(position + 2, length - 2);
        if (marker == 0xE1 && startsWithExifHeader(payload)) return payload;
        position += length;
    }
    return std::nullopt;
}

std::optional<ImageOrientation> exifOrientation(std::span<const std::uint8_t> segment) {
    if (!startsWithExifHeader(segment)) return std::nullopt;
    TiffBytes tiff(segment.subspan(exifHeader.size()));
    if (!tiff.readHeader()) return std::nullopt;
    const auto directory = tiff.read32(4);
    if (!directory) return std::nullopt;
    const auto count = tiff.read16(*directory);
    if (!count) return std::nullopt;
    for (std::uint32_t index = 0; index < *count; ++index) {
        const std::uint64_t entry = std::uint64_t{*directory} + 2 + std::uint64_t{index} * directoryEntrySize;
        // A directory that runs past the segment ends the search.
        if (!tiff.holds(entry, directoryEntrySize)) return std::nullopt;
        if (tiff.read16(entry) != orientationTag) continue;
        const auto type = tiff.read16(entry + 2);
        const auto valueCount = tiff.read32(entry + 4);
        const auto value = tiff.read16(entry + 8);
        if (type != shortType || valueCount != 1u || !value) return std::nullopt;
        return imageOrientation(*value);
    }
    return std::nullopt;
}

std::optional<ImageOrientation> jpegOrientation(std::span<const std::uint8_t> jpeg) {
    const auto segment = jpegExifSegment(jpeg);
    return segment ? exifOrientation(*segment) : std::nullopt;
}

}  // namespace zentrabo::platform
