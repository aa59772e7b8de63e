#include "platform/media/rgba_to_yuv420_converter.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace zentrabo::platform {
namespace {

struct ColourCase {
    const char* name;
    std::uint8_t red, green, blue;
    int y, cb, cr;  // BT.709, limited range
};

// Y = 16 + 219 (0.2126 R + 0.7152 G + 0.0722 B), Cb and Cr = 128 + 224 times
// the scaled differences; BT.601 would put red's Y at 81 and green's at 145.
constexpr ColourCase colourCases[] = {
    {"black", 0, 0, 0, 16, 128, 128},  {"white", 255, 255, 255, 235, 128, 128}, {"red", 255, 0, 0, 63, 102, 240},
    {"green", 0, 255, 0, 173, 42, 26}, {"blue", 0, 0, 255, 32, 240, 118},       {"grey", 128, 128, 128, 126, 128, 128},
};

TEST(RgbaToYuv420Converter, UsesBt709InLimitedRangeAndTagsThePicture) {
    constexpr int width = 16, height = 8;
    RgbaToYuv420Converter converter(width, height);
    for (const ColourCase& colour : colourCases) {
        std::vector<std::uint8_t> rgba;
        for (int pixel = 0; pixel < width * height; ++pixel)
            rgba.insert(rgba.end(), {colour.red, colour.green, colour.blue, 0xFF});
        const AVFrame& picture = converter.convert(rgba);
        EXPECT_NEAR(picture.data[0][picture.linesize[0] * 3 + 5], colour.y, 1) << colour.name;
        EXPECT_NEAR(picture.data[1][picture.linesize[1] * 2 + 3], colour.cb, 1) << colour.name;
        EXPECT_NEAR(picture.data[2][picture.linesize[2] * 2 + 3], colour.cr, 1) << colour.name;
        EXPECT_EQ(picture.colorspace, AVCOL_SPC_BT709);
        EXPECT_EQ(picture.color_range, AVCOL_RANGE_MPEG);
    }
    EXPECT_THROW(converter.convert(std::vector<std::uint8_t>(width * height * 4 - 4)), std::invalid_argument);
}

}  // namespace
}  // namespace zentrabo::platform
