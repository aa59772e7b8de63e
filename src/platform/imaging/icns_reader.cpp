#include "platform/imaging/icns_reader.hpp"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/binary/big_endian.hpp"
#include "platform/imaging/png_codec.hpp"

namespace zentrabo::platform {

namespace {

// The file and each of its entries start with a four-character type and a
// big-endian length that counts these eight bytes too.
constexpr std::size_t headerSize = 8;
constexpr std::string_view argbSignature = "ARGB";

enum class Encoding {
    png,        // PNG, or JPEG 2000 (skipped)
    argb,       // "ARGB" and four run-length-encoded channels, or PNG
    runLength,  // three run-length-encoded channels; alpha in a mask entry
};

struct EntryType {
    std::string_view code;
    Encoding encoding = Encoding::png;
    std::uint32_t side = 0;  // a PNG carries its own size
    std::string_view maskCode = {};
    std::size_t leadingBytes = 0;  // skipped before the channels
};

constexpr std::array<EntryType, 21> entryTypes = {{
    {"icp4"},
    {"icp5"},
    {"icp6"},
    {"ic07"},
    {"ic08"},
    {"ic09"},
    {"ic10"},
    {"ic11"},
    {"ic12"},
    {"ic13"},
    {"ic14"},
    {"icsB"},
    {"sb24"},
    {"SB24"},
    {"ic04", Encoding::argb, 16},
    {"ic05", Encoding::argb, 32},
    {"icsb", Encoding::argb, 18},
    {"is32", Encoding::runLength, 16, "s8mk"},
    {"il32", Encoding::runLength, 32, "l8mk"},
    {"ih32", Encoding::runLength, 48, "h8mk"},
    {"it32", Encoding::runLength, 128, "t8mk", 4},
}};

struct Entry {
    std::string_view code;
    std::span<const std::uint8_t> data;
};

// An entry that may decode, with the size it declares.
struct Candidate {
    Encoding encoding = Encoding::png;
    const EntryType* type = nullptr;
    std::span<const std::uint8_t> data;
    std::uint32_t width = 0;
    std::uint32_t height = 0;

    std::uint64_t area() const { return std::uint64_t{width} * height; }
};

[[noreturn]] void refuse(const char* detail) { throw ImagingError(ImagingError::Case::invalidImage, detail); }

std::string_view codeAt(std::span<const std::uint8_t> file, std::size_t offset) {
    return {reinterpret_cast<const char*>(file.data() + offset), 4};
}

bool startsWith(std::span<const std::uint8_t> data, std::string_view prefix) {
    return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

std::vector<Entry> readEntries(std::span<const std::uint8_t> data) {
    if (!isIcns(data) || data.size() < headerSize) refuse("not an icns file");
    const std::uint32_t declared = readUInt32(data, 4);
    if (declared < headerSize || declared > data.size()) refuse("the icns length runs past the end of the file");
    const auto file = data.first(declared);
    std::vector<Entry> entries;
    for (std::size_t offset = headerSize; offset < file.size();) {
        if (file.size() - offset < headerSize) refuse("an icns entry header runs past the end of the file");
        const std::uint32_t length = readUInt32(file, offset + 4);
        if (length < headerSize || length > file.size() - offset) {
            refuse("an icns entry length runs past the end of the file");
        }
        entries.push_back({codeAt(file, offset), file.subspan(offset + headerSize, length - headerSize)});
        offset += length;
    }
    return entries;
}

const EntryType* entryType(std::string_view code) {
    const auto* type = std::find_if(entryTypes.begin(), entryTypes.end(),
                                    [code](const EntryType& candidate) { return candidate.code == code; });
    return type == entryTypes.end() ? nullptr : type;
}

std::optional<Candidate> candidateFor(const Entry& entry) {
    const EntryType* type = entryType(entry.code);
    if (!type) return std::nullopt;
    if (isPng(entry.data)) {
        // The size from the header chunk, which libpng requires to come first.
        if (entry.data.size() < 24 || !startsWith(entry.data.subspan(12), "IHDR")) return std::nullopt;
        return Candidate{Encoding::png, type, entry.data, readUInt32(entry.data, 16), readUInt32(entry.data, 20)};
    }
    if (type->encoding == Encoding::argb && startsWith(entry.data, argbSignature)) {
        return Candidate{Encoding::argb, type, entry.data.subspan(argbSignature.size()), type->side, type->side};
    }
    if (type->encoding == Encoding::runLength) {
        return Candidate{Encoding::runLength, type, entry.data, type->side, type->side};
    }
    return std::nullopt;  // JPEG 2000, or data the type does not allow
}

// Unpacks one channel of pixelCount bytes from the front of input into every
// fourth byte from out on, and moves input past what it used. A control byte
// below 0x80 copies the next control + 1 bytes; any other repeats the next
// byte control - 125 times. Refuses input that ends early and runs that would
// overfill the channel.
void unpackChannel(std::span<const std::uint8_t>& input, std::uint8_t* out, std::size_t pixelCount) {
    std::size_t position = 0;
    for (std::size_t produced = 0; produced < pixelCount;) {
        if (position >= input.size()) refuse("an icns channel ends early");
        const std::uint8_t control = input[position++];
        const bool literal = control < 0x80;
        const std::size_t length = literal ? control + 1u : control - 125u;
        if (length > pixelCount - produced) refuse("an icns run overfills its channel");
        if (literal ? length > input.size() - position : position >= input.size()) {
            refuse("an icns channel ends early");
        }
        for (std::size_t index = 0; index < length; ++index) {
            out[(produced + index) * RgbaImage::bytesPerPixel] = literal ? input[position + index] : input[position];
        }
        position += literal ? length : 1;
        produced += length;
    }
    input = input.subspan(position);
}

RgbaImage decodeChannels(std::span<const std::uint8_t> input, std::uint32_t side,
                         std::initializer_list<std::size_t> channelOffsets) {
    RgbaImage image(side, side, 0x000000FF);
    const std::size_t pixelCount = std::size_t{side} * side;
    for (const std::size_t offset : channelOffsets) unpackChannel(input, image.pixels.data() + offset, pixelCount);
    return image;
}

RgbaImage decodeRunLength(const Candidate& candidate, const std::vector<Entry>& entries) {
    const EntryType& type = *candidate.type;
    if (candidate.data.size() < type.leadingBytes) refuse("an icns entry ends early");
    RgbaImage image = decodeChannels(candidate.data.subspan(type.leadingBytes), type.side, {0, 1, 2});
    const auto mask = std::find_if(entries.begin(), entries.end(),
                                   [&type](const Entry& entry) { return entry.code == type.maskCode; });
    if (mask == entries.end()) return image;  // without a mask the picture is opaque
    if (mask->data.size() != std::size_t{type.side} * type.side) refuse("an icns mask has the wrong size");
    for (std::size_t index = 0; index < mask->data.size(); ++index) {
        image.pixels[index * RgbaImage::bytesPerPixel + 3] = mask->data[index];
    }
    return image;
}

RgbaImage decodeCandidate(const Candidate& candidate, const std::vector<Entry>& entries,
                          const ImageDecodeLimits& limits) {
    checkDecodedImageSize(candidate.width, candidate.height, limits);
    switch (candidate.encoding) {
    case Encoding::png:
        return decodePng(candidate.data, limits);
    case Encoding::argb:
        return decodeChannels(candidate.data, candidate.width, {3, 0, 1, 2});
    case Encoding::runLength:
        break;
    }
    return decodeRunLength(candidate, entries);
}

}  // namespace

bool isIcns(std::span<const std::uint8_t> data) { return startsWith(data, "icns"); }

RgbaImage decodeIcns(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits) {
    const auto entries = readEntries(data);
    std::vector<Candidate> candidates;
    for (const auto& entry : entries) {
        if (auto candidate = candidateFor(entry)) candidates.push_back(*candidate);
    }
    // Largest first, so only entries larger than the one drawn are decoded in
    // vain; among equal sizes the earlier entry wins.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) { return a.area() > b.area(); });
    // Damaged entries cost their pixels before they fail; together the tries
    // may allocate no more than one picture at the limits would, so a file of
    // many large broken entries is cheap to refuse.
    std::uint64_t pixelBudget = limits.maximumPixelCount;
    bool tooLarge = false;
    for (const auto& candidate : candidates) {
        if (candidate.area() > pixelBudget) {
            tooLarge = tooLarge || candidate.area() > limits.maximumPixelCount;
            continue;
        }
        pixelBudget -= candidate.area();
        try {
            return decodeCandidate(candidate, entries, limits);
        } catch (const ImagingError& error) {
            tooLarge = tooLarge || error.errorCase() == ImagingError::Case::imageTooLarge;
        }
    }
    if (tooLarge) throw ImagingError(ImagingError::Case::imageTooLarge, "every icns entry is over the limits");
    refuse("no icns entry decodes");
}

}  // namespace zentrabo::platform
