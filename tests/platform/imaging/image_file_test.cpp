#include "platform/imaging/image_file.hpp"

#include <gtest/gtest.h>
#include <tiffio.h>
#include <webp/encode.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/imaging/exif_orientation.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "platform/imaging/picture_file.hpp"
#include "platform/imaging/png_codec.hpp"
#include "platform/imaging/tiff_codec.hpp"
#include "support/test_pictures.hpp"

namespace zentrabo::platform {
namespace {

using test::Quadrants;

// A TIFF file of the image's colour (8-bit RGB) with the orientation tag.
// ctest runs each test in a process of its own, several at once: the
// process id keeps their files apart.
std::vector<std::uint8_t> tiffFile(const RgbaImage& image, std::uint16_t orientation) {
    const auto path =
        std::filesystem::path(::testing::TempDir()) / ("image-file-test-" + std::to_string(getpid()) + ".tif");
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(tiff, nullptr);
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, image.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, image.height);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
    std::vector<std::uint8_t> row(image.width * 3);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        for (std::uint32_t x = 0; x < image.width; ++x) std::copy_n(image.pixel(x, y), 3, row.data() + x * 3);
        TIFFWriteScanline(tiff, row.data(), y, 0);
    }
    TIFFClose(tiff);
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// A lossless WebP file of the image.
std::vector<std::uint8_t> webpFile(const RgbaImage& image) {
    std::uint8_t* encoded = nullptr;
    const std::size_t size =
        WebPEncodeLosslessRGBA(image.pixels.data(), static_cast<int>(image.width), static_cast<int>(image.height),
                               static_cast<int>(image.rowBytes()), &encoded);
    std::vector<std::uint8_t> bytes(encoded, encoded + size);
    WebPFree(encoded);
    return bytes;
}

ImagingError::Case failureOf(std::span<const std::uint8_t> data, const ImageDecodeLimits& limits = {}) {
    try {
        decodeImageFile(data, std::nullopt, limits);
    } catch (const ImagingError& error) {
        return error.errorCase();
    }
    ADD_FAILURE() << "decoded";
    return ImagingError::Case::encodingFailed;
}

TEST(ImageFile, EveryFormatStandsUprightAsItsOrientationSays) {
    for (const auto& layout : test::storedOrientations) {
        SCOPED_TRACE(layout.orientation);
        const RgbaImage stored =
            test::quadrantPicture(layout.swapsSides ? 32 : 64, layout.swapsSides ? 64 : 32, layout.stored);
        const auto jpeg = encodeJpeg(stored, 0.9);
        for (const auto& file :
             {test::withExifOrientation(jpeg, layout.orientation, false),
              test::withExifOrientation(jpeg, layout.orientation, true), tiffFile(stored, layout.orientation)}) {
            const RgbaImage upright = decodeImageFile(file);
            ASSERT_EQ(upright.width, 64u);
            ASSERT_EQ(upright.height, 32u);
            test::expectQuadrants(upright, test::uprightQuadrants);
        }
    }
    // A PNG has no orientation of its own.
    const RgbaImage picture = test::quadrantPicture(64, 32, test::uprightQuadrants);
    EXPECT_EQ(decodeImageFile(encodePng(picture)), picture);
}

TEST(ImageFile, AMaximumSizeScalesLargerPicturesDownAndSmallerOnesNot) {
    const RgbaImage picture = test::quadrantPicture(1000, 500, test::uprightQuadrants);
    const auto jpeg = encodeJpeg(picture, 0.9);
    // The decoder's own scaling stops at the smallest factor still large enough.
    const RgbaImage scaled = decodeJpegScaled(jpeg, 300);
    EXPECT_EQ(scaled.width, 375u);
    EXPECT_EQ(scaled.height, 188u);
    EXPECT_EQ(decodeJpegScaled(jpeg, 5000).width, 1000u);

    for (const auto& file : {jpeg, encodePng(picture), tiffFile(picture, 1), webpFile(picture)}) {
        const RgbaImage thumbnail = decodeImageFile(file, 300);
        EXPECT_EQ(thumbnail.width, 300u);
        EXPECT_EQ(thumbnail.height, 150u);
        test::expectQuadrants(thumbnail, test::uprightQuadrants);
        EXPECT_EQ(decodeImageFile(file, 1000).width, 1000u) << "exactly the maximum is kept";
        EXPECT_EQ(decodeImageFile(file, 4000).width, 1000u) << "never enlarged";
    }
}

TEST(ImageFile, UnknownFilesAndDeclaredSizesOverTheLimitsAreRefused) {
    EXPECT_EQ(failureOf(std::vector<std::uint8_t>{'G', 'I', 'F', '8', '9', 'a'}), ImagingError::Case::invalidImage);
    EXPECT_EQ(failureOf(std::vector<std::uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0}), ImagingError::Case::invalidImage);
    ImageDecodeLimits limits;
    limits.maximumDimension = 63;
    const RgbaImage picture = test::quadrantPicture(64, 32, test::uprightQuadrants);
    EXPECT_EQ(failureOf(tiffFile(picture, 1), limits), ImagingError::Case::imageTooLarge);
    EXPECT_EQ(failureOf(encodeJpeg(picture, 0.5), limits), ImagingError::Case::imageTooLarge);
    const auto webp = webpFile(picture);
    EXPECT_EQ(failureOf(webp, limits), ImagingError::Case::imageTooLarge);
    EXPECT_EQ(failureOf(std::span(webp).first(webp.size() / 2)), ImagingError::Case::invalidImage) << "cut short";
}

TEST(PictureFile, SvgDocumentsAreDrawnAtTheirOwnSizeWithinTheMaximum) {
    // Quadrants drawn as four rectangles of a 200 x 100 user space.
    const std::string quadrants = R"(<rect width="100" height="50" fill="#FF0000"/>)"
                                  R"(<rect x="100" width="100" height="50" fill="#00FF00"/>)"
                                  R"(<rect y="50" width="100" height="50" fill="#0000FF"/>)"
                                  R"(<rect x="100" y="50" width="100" height="50" fill="#FFFFFF"/>)";
    const auto document = [&](const std::string& attributes) {
        const std::string text = R"(<?xml version="1.0"?><svg xmlns="http://www.w3.org/2000/svg" )" + attributes + ">" +
                                 quadrants + "</svg>";
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    const struct {
        const char* what;
        std::string attributes;
        std::uint32_t maximum;
        std::pair<std::uint32_t, std::uint32_t> size;
    } rows[] = {
        {"its own size", R"(width="200" height="100")", 2400, {200, 100}},
        {"scaled down", R"(width="1200" height="600" viewBox="0 0 200 100")", 300, {300, 150}},
        {"no size: the view box's shape at the maximum", R"(viewBox="0 0 200 100")", 400, {400, 200}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const RgbaImage picture = decodePictureFile(document(row.attributes), row.maximum);
        EXPECT_EQ(std::make_pair(picture.width, picture.height), row.size);
        test::expectQuadrants(picture, test::uprightQuadrants);
    }
    const RgbaImage raster = test::quadrantPicture(64, 32, test::uprightQuadrants);
    EXPECT_EQ(decodePictureFile(encodePng(raster), 2400), raster);
    const std::string text = "neither a picture nor a document";
    EXPECT_THROW(decodePictureFile(std::vector<std::uint8_t>(text.begin(), text.end()), 2400), ImagingError);
}

TEST(ExifOrientation, MalformedSegmentsSayNothing) {
    const auto jpeg = encodeJpeg(test::quadrantPicture(16, 16, test::uprightQuadrants), 0.9);
    const auto tagged = test::withExifOrientation(jpeg, 6, false);
    ASSERT_EQ(jpegOrientation(tagged), ImageOrientation::rightTop);
    EXPECT_EQ(jpegOrientation(jpeg), std::nullopt);
    const auto segment = *jpegExifSegment(tagged);
    // Offsets into the segment: 6 "Exif\0\0", then the TIFF header; the
    // directory's one entry starts at 6 + 10.
    struct Damage {
        const char* what;
        std::size_t offset;
        std::uint8_t value;
    };
    for (const auto& damage :
         {Damage{"byte order", 6, 'X'}, Damage{"magic number", 8, 43}, Damage{"directory past the end", 13, 0x7F},
          Damage{"no orientation entry", 16, 0x13}, Damage{"type not SHORT", 18, 4}, Damage{"count not 1", 20, 2},
          Damage{"value 9", 24, 9}, Damage{"value 0", 24, 0}}) {
        SCOPED_TRACE(damage.what);
        std::vector<std::uint8_t> damaged(segment.begin(), segment.end());
        damaged[damage.offset] = damage.value;
        EXPECT_EQ(exifOrientation(damaged), std::nullopt);
    }
    // Cut anywhere, the segment yields the value only while it still holds
    // the whole entry (which ends at 6 + 10 + 12), never a value read from
    // beyond its end.
    for (std::size_t size = 0; size < segment.size(); ++size) {
        std::vector<std::uint8_t> cut(segment.begin(), segment.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_EQ(exifOrientation(cut), size >= 28 ? std::optional(ImageOrientation::rightTop) : std::nullopt) << size;
    }
    // A segment length that runs past the file ends the search.
    auto truncated = tagged;
    truncated.resize(20);
    EXPECT_EQ(jpegExifSegment(truncated), std::nullopt);
}

TEST(ImageCopy, CopiesIntoTheCanvasCuttingOffWhatLiesOutside) {
    const RgbaImage image = test::quadrantPicture(4, 4, test::uprightQuadrants);
    struct Placement {
        std::int64_t x;
        std::int64_t y;
        std::uint32_t expectedAtOrigin;  // the canvas pixel 0, 0 afterwards
    };
    for (const auto& placement :
         {Placement{0, 0, test::red}, Placement{-2, 0, test::green}, Placement{-2, -2, test::white},
          Placement{5, 5, 0x000000FF}, Placement{-4, 0, 0x000000FF}, Placement{INT64_MIN, INT64_MAX, 0x000000FF}}) {
        RgbaImage canvas(6, 6, 0x000000FF);
        copyImageInto(canvas, image, placement.x, placement.y);
        test::expectColourAt(canvas, 0, 0, placement.expectedAtOrigin);
    }
    RgbaImage canvas(6, 6, 0x000000FF);
    copyImageInto(canvas, image, 4, 4);
    test::expectColourAt(canvas, 5, 5, test::red);
    test::expectColourAt(canvas, 3, 3, 0x000000FF);
}

}  // namespace
}  // namespace zentrabo::platform
