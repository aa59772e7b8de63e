// The .icns reader on files the tests build: each encoding with its mask,
// the largest entry that decodes as the picture, and files whose lengths
// lie refused without a read past their end.
#include <gtest/gtest.h>

#include <memory>

#include "platform/imaging/icns_reader.hpp"
#include "platform/imaging/image_file.hpp"
#include "support/icns_files.hpp"

namespace zentrabo::platform {
namespace {

using test::argbEntry;
using test::IcnsEntry;
using test::icnsFile;
using test::maskEntry;
using test::patternedPicture;
using test::pngEntry;
using test::runLengthEntry;

// The bytes in a heap block of exactly their size, so AddressSanitizer stops
// any read past the end.
RgbaImage decodeExactCopy(const std::vector<std::uint8_t>& file, const ImageDecodeLimits& limits = {}) {
    auto copy = std::make_unique<std::uint8_t[]>(file.size());
    std::copy(file.begin(), file.end(), copy.get());
    return decodeImageFile(std::span<const std::uint8_t>(copy.get(), file.size()), std::nullopt, limits);
}

RgbaImage opaque(RgbaImage image) {
    for (std::size_t index = 3; index < image.pixels.size(); index += 4) image.pixels[index] = 255;
    return image;
}

// A JPEG 2000 file's signature box, which is all the reader looks at.
IcnsEntry jpeg2000Entry(std::string type) {
    return {std::move(type), {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0, 0, 0}};
}

TEST(IcnsReaderTest, EachEncodingDecodesWithItsAlpha) {
    const auto small = patternedPicture(16, 16);
    const auto large = patternedPicture(128, 128);
    const auto odd = patternedPicture(20, 12);
    const struct {
        const char* what;
        std::vector<IcnsEntry> entries;
        RgbaImage expected;
    } cases[] = {
        {"PNG entry, at the PNG's own size", {pngEntry("ic07", odd)}, odd},
        {"ARGB entry", {argbEntry("ic04", small)}, small},
        {"run-length entry with its mask after it", {runLengthEntry("is32", small), maskEntry("s8mk", small)}, small},
        {"run-length entry with its mask before it", {maskEntry("s8mk", small), runLengthEntry("is32", small)}, small},
        {"128-pixel run-length entry after its four leading bytes",
         {runLengthEntry("it32", large, 4), maskEntry("t8mk", large)},
         large},
        {"run-length entry without a mask is opaque", {runLengthEntry("is32", small)}, opaque(small)},
        {"a mask of another size does not count",
         {runLengthEntry("is32", small), maskEntry("l8mk", large)},
         opaque(small)},
        {"other kinds are passed over", {{"TOC ", {1, 2, 3, 4}}, {"ICN#", {}}, argbEntry("ic04", small)}, small},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decodeExactCopy(icnsFile(c.entries)), c.expected) << c.what;
    }
}

TEST(IcnsReaderTest, TheLargestEntryThatDecodesIsThePicture) {
    const auto tiny = patternedPicture(16, 16);
    const auto medium = patternedPicture(32, 32);
    const auto big = patternedPicture(48, 48);
    auto damagedPng = pngEntry("ic09", patternedPicture(64, 64));
    damagedPng.data.resize(damagedPng.data.size() / 2);
    ImageDecodeLimits tight;
    tight.maximumDimension = 40;
    const struct {
        const char* what;
        std::vector<IcnsEntry> entries;
        ImageDecodeLimits limits;
        std::uint32_t expectedSide;
    } cases[] = {
        {"the largest wherever it stands",
         {argbEntry("ic04", tiny), pngEntry("ic07", big), runLengthEntry("il32", medium)},
         {},
         48},
        {"a larger JPEG 2000 entry is skipped", {jpeg2000Entry("ic10"), argbEntry("ic05", medium)}, {}, 32},
        {"a larger damaged entry gives way", {damagedPng, runLengthEntry("is32", tiny)}, {}, 16},
        {"a larger entry over the limits gives way", {pngEntry("ic08", big), argbEntry("ic05", medium)}, tight, 32},
        {"a PNG in an ARGB entry counts too", {argbEntry("ic04", tiny), pngEntry("ic05", medium)}, {}, 32},
    };
    for (const auto& c : cases) {
        const auto image = decodeExactCopy(icnsFile(c.entries), c.limits);
        EXPECT_EQ(image.width, c.expectedSide) << c.what;
        EXPECT_EQ(image.height, c.expectedSide) << c.what;
    }

    // Of two entries of one size the first wins.
    auto other = tiny;
    other.pixels[0] ^= 0xFF;
    EXPECT_EQ(decodeExactCopy(icnsFile({argbEntry("ic04", tiny), pngEntry("icp4", other)})), tiny);
}

TEST(IcnsReaderTest, FilesWhoseLengthsLieOrThatHoldNoPictureAreRefused) {
    const auto good = icnsFile({argbEntry("ic04", patternedPicture(16, 16))});
    const auto withLength = [](std::vector<std::uint8_t> file, std::size_t offset, std::uint32_t length) {
        for (int index = 0; index < 4; ++index)
            file[offset + index] = static_cast<std::uint8_t>(length >> (24 - 8 * index));
        return file;
    };
    auto truncated = good;
    truncated.resize(good.size() - 1);
    auto headerCut = icnsFile({});
    headerCut.insert(headerCut.end(), {'i', 'c', '0', '4', 0, 0});
    headerCut = withLength(headerCut, 4, static_cast<std::uint32_t>(headerCut.size()));
    ImageDecodeLimits tiny;
    tiny.maximumDimension = 8;
    // Broken entries that use up what one picture may cost leave nothing for the good one.
    auto brokenPng = pngEntry("ic07", patternedPicture(64, 64));
    brokenPng.data.resize(brokenPng.data.size() / 2);
    ImageDecodeLimits twoLargePictures;
    twoLargePictures.maximumPixelCount = 2 * 64 * 64;
    const auto costly = icnsFile({brokenPng, brokenPng, brokenPng, argbEntry("ic04", patternedPicture(16, 16))});
    auto brokenRuns = good;
    brokenRuns[20] = 0x7F;  // after "ARGB": a literal of 128 bytes, more than the cut entry holds
    brokenRuns.resize(40);
    brokenRuns = withLength(withLength(brokenRuns, 4, 40), 12, 32);

    const struct {
        const char* what;
        std::vector<std::uint8_t> file;
        ImageDecodeLimits limits;
        ImagingError::Case expected;
    } cases[] = {
        {"file cut short of its declared length", truncated, {}, ImagingError::Case::invalidImage},
        {"declared length shorter than the header", withLength(good, 4, 7), {}, ImagingError::Case::invalidImage},
        {"entry longer than what remains",
         withLength(good, 12, static_cast<std::uint32_t>(good.size() - 7)),
         {},
         ImagingError::Case::invalidImage},
        {"entry length shorter than its header", withLength(good, 12, 4), {}, ImagingError::Case::invalidImage},
        {"entry header cut by the end", headerCut, {}, ImagingError::Case::invalidImage},
        {"runs that end before the channel", brokenRuns, {}, ImagingError::Case::invalidImage},
        {"only JPEG 2000", icnsFile({jpeg2000Entry("ic08")}), {}, ImagingError::Case::invalidImage},
        {"no entries", icnsFile({}), {}, ImagingError::Case::invalidImage},
        {"only entries over the limits", good, tiny, ImagingError::Case::imageTooLarge},
        {"broken entries spend the pixel budget", costly, twoLargePictures, ImagingError::Case::invalidImage},
    };
    for (const auto& c : cases) {
        try {
            decodeExactCopy(c.file, c.limits);
            ADD_FAILURE() << c.what << " was decoded";
        } catch (const ImagingError& error) {
            EXPECT_EQ(error.errorCase(), c.expected) << c.what;
        }
    }
}

}  // namespace
}  // namespace zentrabo::platform
