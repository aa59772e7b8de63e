// The built binary's "displayWallpaper" on the tests' X session: the picture
// GNOME's background settings name, set for the test through GLib's keyfile
// settings in the test's own config folder.
#include <gtest/gtest.h>
#include <webp/encode.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "platform/imaging/jpeg_codec.hpp"
#include "platform/imaging/png_codec.hpp"
#include "support/device_request.hpp"
#include "support/test_pictures.hpp"
#include "x11/binary_x11_fixture.hpp"

namespace zentrabo::testing {
namespace {

using test::Quadrants;

// A day picture larger than a wallpaper may be, a night picture that fits.
constexpr Quadrants dayQuadrants = test::uprightQuadrants;
constexpr Quadrants nightQuadrants = {test::white, test::blue, test::green, test::red};
constexpr Quadrants eveningQuadrants = {test::green, test::red, test::white, test::blue};
constexpr Quadrants drawnQuadrants = {test::blue, test::white, test::red, test::green};

struct WallpaperCase {
    const char* name;
    // The keyfile's lines; "DAY" and "NIGHT" stand for the pictures' URIs.
    std::string settings;
    // Asked for the right-hand monitor rather than the main one.
    bool rightMonitor = false;
    // The picture's size and quadrants; none when no wallpaper is expected.
    std::optional<std::pair<std::uint32_t, std::uint32_t>> size;
    Quadrants quadrants{};
};

// Named in test output by its case.
void PrintTo(const WallpaperCase& wallpaperCase, std::ostream* out) { *out << wallpaperCase.name; }

class BinaryX11Wallpaper : public BinaryX11Test, public ::testing::WithParamInterface<WallpaperCase> {
protected:
    void SetUp() override {
        const auto pictures = home.path() / "Pictures";
        std::filesystem::create_directories(pictures);
        writePicture(pictures / "day.png", test::quadrantPicture(3000, 1500, dayQuadrants));
        writePicture(pictures / "night.png", test::quadrantPicture(1920, 1080, nightQuadrants));
        writeFile(pictures / "evening.webp", webpPicture(test::quadrantPicture(1600, 900, eveningQuadrants)));
        writeFile(pictures / "drawn.svg", svgPicture(1200, 600, drawnQuadrants));
        // The slideshow began long ago and shows its first picture for
        // far longer: sized copies of it, the larger taken as neither
        // covers the monitor.
        writeFile(pictures / "slides.xml",
                  "<?xml version=\"1.0\"?>\n<!-- a comment -->\n<background>\n"
                  "<starttime><year>2001</year><month>1</month><day>1</day><hour>0</hour><minute>0</minute>"
                  "<second>0</second></starttime>\n"
                  "<static><duration>1000000000000.0</duration><file>"
                  "<size width=\"400\" height=\"300\">drawn.svg</size>"
                  "<size width=\"1600\" height=\"900\">evening.webp</size></file></static>\n"
                  "<transition type=\"overlay\"><duration>5.0</duration><from>evening.webp</from>"
                  "<to>night.png</to></transition>\n</background>\n");
        std::string settings = GetParam().settings;
        replace(settings, "DAY", "file://" + (pictures / "day.png").string());
        replace(settings, "NIGHT", "file://" + (pictures / "night.png").string());
        replace(settings, "EVENING", "file://" + (pictures / "evening.webp").string());
        replace(settings, "DRAWN", (pictures / "drawn.svg").string());
        replace(settings, "SLIDES", "file://" + (pictures / "slides.xml").string());
        const auto keyfile = home.path() / ".config/glib-2.0/settings/keyfile";
        std::filesystem::create_directories(keyfile.parent_path());
        std::ofstream(keyfile) << settings;
        serverEnvironment = {"GSETTINGS_BACKEND=keyfile"};
        BinaryX11Test::SetUp();
    }

    static void writePicture(const std::filesystem::path& file, const platform::RgbaImage& picture) {
        const auto bytes = platform::encodePng(picture);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    static void writeFile(const std::filesystem::path& file, const std::string& bytes) {
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    // Lossless, so the colours come back as they went in.
    static std::string webpPicture(const platform::RgbaImage& picture) {
        std::uint8_t* encoded = nullptr;
        const std::size_t size =
            WebPEncodeLosslessRGBA(picture.pixels.data(), static_cast<int>(picture.width),
                                   static_cast<int>(picture.height), static_cast<int>(picture.rowBytes()), &encoded);
        std::string bytes(reinterpret_cast<const char*>(encoded), size);
        WebPFree(encoded);
        return bytes;
    }

    static std::string svgPicture(int width, int height, const Quadrants& colours) {
        const auto rect = [&](int index, int x, int y) {
            char colour[8];
            std::snprintf(colour, sizeof colour, "#%06X", static_cast<unsigned>(colours[index] >> 8));
            return "<rect x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" width=\"" +
                   std::to_string(width / 2) + "\" height=\"" + std::to_string(height / 2) + "\" fill=\"" + colour +
                   "\"/>";
        };
        return "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width) + "\" height=\"" +
               std::to_string(height) + "\">" + rect(0, 0, 0) + rect(1, width / 2, 0) + rect(2, 0, height / 2) +
               rect(3, width / 2, height / 2) + "</svg>";
    }

    static void replace(std::string& text, const std::string& placeholder, const std::string& value) {
        if (const auto at = text.find(placeholder); at != std::string::npos)
            text.replace(at, placeholder.size(), value);
    }

    // The display id of the right-hand monitor as the display list gives it.
    std::optional<std::uint32_t> rightMonitorID() {
        const auto listed = send(phone, deviceRequest("D-1", "screenshotDisplays"));
        if (!listed.displays || listed.displays->size() != 3) return std::nullopt;
        return listed.displays->at(2).displayID;
    }
};

TEST_P(BinaryX11Wallpaper, AnswersWithThePictureTheSettingsShow) {
    const auto& expected = GetParam();
    auto request = deviceRequest("W-1", "displayWallpaper");
    if (expected.rightMonitor) {
        request.displayID = rightMonitorID();
        ASSERT_TRUE(request.displayID) << "no right-hand monitor listed";
    }
    const auto reply = send(phone, request);
    ASSERT_TRUE(reply.ok) << reply.error.value_or("");
    if (!expected.size) {
        EXPECT_FALSE(reply.displayWallpapers) << "a wallpaper without a picture set";
        return;
    }
    ASSERT_TRUE(reply.displayWallpapers && reply.displayWallpapers->size() == 1u) << "no wallpaper";
    const auto& wallpaper = reply.displayWallpapers->front();
    EXPECT_EQ(wallpaper.displayID, request.displayID) << "the main display is named by its role alone";
    const auto picture = platform::decodeJpeg(wallpaper.data);
    EXPECT_EQ(std::make_pair(picture.width, picture.height), *expected.size);
    test::expectQuadrants(picture, expected.quadrants);

    auto elsewhere = deviceRequest("W-2", "displayWallpaper");
    elsewhere.displayID = 4'000'000'000u;
    const auto none = send(phone, elsewhere);
    ASSERT_TRUE(none.ok) << none.error.value_or("");
    EXPECT_FALSE(none.displayWallpapers) << "a display that is no monitor has no wallpaper";
}

INSTANTIATE_TEST_SUITE_P(
    Settings, BinaryX11Wallpaper,
    ::testing::Values(WallpaperCase{"LightPictureScaledDown", "[org/gnome/desktop/background]\npicture-uri='DAY'\n",
                                    false, std::pair{2400u, 1200u}, dayQuadrants},
                      WallpaperCase{"DarkPictureOnTheRightMonitor",
                                    "[org/gnome/desktop/background]\npicture-uri='DAY'\npicture-uri-dark='NIGHT'\n"
                                    "[org/gnome/desktop/interface]\ncolor-scheme='prefer-dark'\n",
                                    true, std::pair{1920u, 1080u}, nightQuadrants},
                      WallpaperCase{"WebPPicture", "[org/gnome/desktop/background]\npicture-uri='EVENING'\n", false,
                                    std::pair{1600u, 900u}, eveningQuadrants},
                      // A plain path, as desktops also take it.
                      WallpaperCase{"SvgDocumentAtItsOwnSize", "[org/gnome/desktop/background]\npicture-uri='DRAWN'\n",
                                    false, std::pair{1200u, 600u}, drawnQuadrants},
                      WallpaperCase{"SlideshowsCurrentPicture",
                                    "[org/gnome/desktop/background]\npicture-uri='SLIDES'\n", false,
                                    std::pair{1600u, 900u}, eveningQuadrants},
                      // A picture that is not there. (The schema's own default names a
                      // stock picture, which the GNOME test session's packages install.)
                      WallpaperCase{"MissingPicture",
                                    "[org/gnome/desktop/background]\npicture-uri='file:///nonexistent/gone.png'\n",
                                    false,
                                    std::nullopt,
                                    {}}),
    [](const ::testing::TestParamInfo<WallpaperCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zentrabo::testing
