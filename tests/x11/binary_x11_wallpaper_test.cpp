// The built binary's "displayWallpaper" on the tests' X session: the picture
// GNOME's background settings name, set for the test through GLib's keyfile
// settings in the test's own config folder.
#include <gtest/gtest.h>

#include <cstdint>
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
        std::string settings = GetParam().settings;
        replace(settings, "DAY", "file://" + (pictures / "day.png").string());
        replace(settings, "NIGHT", "file://" + (pictures / "night.png").string());
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
                      // The schema's own default names a stock picture that is not
                      // installed here (and is of a kind not read).
                      WallpaperCase{"NothingSet", "", false, std::nullopt, {}}),
    [](const ::testing::TestParamInfo<WallpaperCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace zentrabo::testing
