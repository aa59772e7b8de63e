#include "platform/imaging/qr_code.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "platform/imaging/png_codec.hpp"

namespace zentrabo::platform {
namespace {

// Scans a PNG with zbarimg, an independent decoder, and returns its text.
std::string scanWithZbar(const std::vector<std::uint8_t>& png) {
    char folder[] = "/tmp/zentrabo-qr-XXXXXX";
    if (mkdtemp(folder) == nullptr) return "<no temporary folder>";
    const std::string path = std::string(folder) + "/code.png";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    std::string output;
    if (FILE* pipe = popen(("zbarimg --raw -q --nodbus " + path + " 2>/dev/null").c_str(), "r")) {
        std::array<char, 4096> chunk;
        while (std::size_t count = std::fread(chunk.data(), 1, chunk.size(), pipe)) output.append(chunk.data(), count);
        pclose(pipe);
    }
    std::remove(path.c_str());
    ::rmdir(folder);
    if (!output.empty() && output.back() == '\n') output.pop_back();
    return output;
}

TEST(QrCode, PngScansBackToTheExactLink) {
    // Mixed case must survive: a case-folding alphanumeric mode would break the nonce and the name.
    const std::string link =
        "zentrabo://pair?service=Ada%27s%20MacBook%20Pro&code=004217&nonce=9F86D081884C7D659A2FEAA0C55AD015"
        "&host=192.168.1.20&port=52344&fp=3a7bd3e2360a3d29eea436fcfb7e44c735d117c42d1c1835420b6b9942dd4f1b"
        "&relayHost=relay.example.net&relayPort=443&relayID=dev-7Q";
    const QrCode code = QrCode::encode(link, QrErrorCorrection::medium);
    const auto png = code.png(10);
    EXPECT_EQ(scanWithZbar(png), link);

    const RgbaImage image = decodePng(png);
    EXPECT_EQ(image.width, code.size() * 10);
    EXPECT_EQ(image.height, code.size() * 10);
}

TEST(QrCode, NonAsciiTextScansBack) {
    const std::string text = "Zentrabo – Café ☕";
    EXPECT_EQ(scanWithZbar(QrCode::encode(text, QrErrorCorrection::high).png(4)), text);
}

TEST(QrCode, MatrixHasAQuietZoneAndFinderPatterns) {
    const QrCode code = QrCode::encode("hello", QrErrorCorrection::medium);
    ASSERT_EQ(code.symbolSize(), 21u);  // five bytes fit version 1
    ASSERT_EQ(code.size(), 21u + 2 * QrCode::standardQuietZone);
    for (std::uint32_t index = 0; index < code.size(); ++index) {
        for (std::uint32_t border = 0; border < QrCode::standardQuietZone; ++border) {
            EXPECT_FALSE(code.isDark(index, border));
            EXPECT_FALSE(code.isDark(border, index));
            EXPECT_FALSE(code.isDark(index, code.size() - 1 - border));
            EXPECT_FALSE(code.isDark(code.size() - 1 - border, index));
        }
    }
    // The top-left finder: a dark 7 x 7 ring around a light ring around a dark 3 x 3 core.
    const std::uint32_t origin = QrCode::standardQuietZone;
    EXPECT_TRUE(code.isDark(origin, origin));
    EXPECT_TRUE(code.isDark(origin + 6, origin + 6));
    EXPECT_FALSE(code.isDark(origin + 1, origin + 1));
    EXPECT_TRUE(code.isDark(origin + 3, origin + 3));
    EXPECT_FALSE(code.isDark(code.size(), 0));  // outside the matrix counts as light
}

TEST(QrCode, TextBeyondTheLargestSymbolIsRefused) {
    try {
        QrCode::encode(std::string(3000, 'x'), QrErrorCorrection::high);
        FAIL();
    } catch (const ImagingError& error) {
        EXPECT_EQ(error.errorCase(), ImagingError::Case::qrCodeTextTooLong);
    }
    EXPECT_THROW(QrCode::encode("x", QrErrorCorrection::low).render(0), ImagingError);
}

}  // namespace
}  // namespace zentrabo::platform
