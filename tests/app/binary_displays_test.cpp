// Windows, displays, screenshots and wallpapers through the built binary,
// on a desktop scenario of the test's own: a main display at scale 2 with a
// picture, and a second display below it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "binary_harness.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "platform/imaging/png_codec.hpp"
#include "support/device_request.hpp"
#include "support/screenshot_picture.hpp"
#include "support/test_pictures.hpp"

namespace zentrabo::testing {
namespace {

using test::expectQuadrants;
using test::quadrantPicture;
using test::uprightQuadrants;

class BinaryDisplaysTest : public BinaryServerTest {
protected:
    void SetUp() override {
        const auto picture = home.path() / "beach.png";
        const auto png = platform::encodePng(quadrantPicture(400, 300, uprightQuadrants));
        std::ofstream(picture, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        writeScenario(home, R"({"displays": [
            {"id": 1, "name": "Studio", "bounds": {"x": 0, "y": 0, "width": 800, "height": 600}, "scale": 2,
             "picture": ")" + picture.string() +
                                R"("},
            {"id": 2, "name": "Side", "bounds": {"x": 100, "y": 600, "width": 640, "height": 480}}],
          "applications": [
            {"name": "Finder", "bundleIdentifier": "com.example.finder"},
            {"name": "Sketchpad", "bundleIdentifier": "com.example.sketchpad", "running": false,
             "windows": [{"title": "Drawing", "frame": {"x": 40, "y": 40, "width": 300, "height": 200}}]}]})");
        BinaryServerTest::SetUp();
        if (HasFatalFailure()) return;
        pairDevice(phone);
    }

    TestDevice phone;
};

TEST_F(BinaryDisplaysTest, DisplaysScreenshotsWallpapersAndWindowsAreAnswered) {
    const auto displays = send(phone, deviceRequest("D-1", "screenshotDisplays"));
    ASSERT_TRUE(displays.ok) << displays.error.value_or("");
    ASSERT_TRUE(displays.displays);
    ASSERT_EQ(displays.displays->size(), 3u);
    const auto& main = displays.displays->at(0);
    const auto& all = displays.displays->at(1);
    const auto& side = displays.displays->at(2);
    EXPECT_TRUE(main.isMain);
    EXPECT_EQ(main.displayID, std::nullopt) << "the main display is named by its role";
    EXPECT_EQ(std::make_pair(main.pixelWidth, main.pixelHeight), std::make_pair(1600L, 1200L));
    EXPECT_EQ(main.frameWidth, 800.0);
    EXPECT_EQ(all.name, "All Monitors");
    EXPECT_EQ(all.capturesAllDisplays, true);
    // The union of both frames at the densest scale.
    EXPECT_EQ(std::make_pair(all.pixelWidth, all.pixelHeight), std::make_pair(1600L, 2160L));
    EXPECT_EQ(side.displayID, 2u);
    EXPECT_EQ(std::make_pair(side.pixelWidth, side.pixelHeight), std::make_pair(640L, 480L));
    EXPECT_EQ(std::make_pair(side.frameX, side.frameY), std::make_pair(std::optional(100.0), std::optional(600.0)));

    auto wallpaperRequest = deviceRequest("D-2", "displayWallpaper");
    wallpaperRequest.displayID = 1;
    const auto wallpaper = send(phone, wallpaperRequest);
    ASSERT_TRUE(wallpaper.ok) << wallpaper.error.value_or("");
    ASSERT_TRUE(wallpaper.displayWallpapers);
    ASSERT_EQ(wallpaper.displayWallpapers->size(), 1u);
    const auto picture = platform::decodeJpeg(wallpaper.displayWallpapers->front().data);
    EXPECT_EQ(std::make_pair(picture.width, picture.height), std::make_pair(1600u, 1200u));
    expectQuadrants(picture, uprightQuadrants);

    auto windows = deviceRequest("D-3", "applicationWindows");
    windows.bundleIdentifier = "com.example.sketchpad";
    const auto listed = send(phone, windows);
    ASSERT_TRUE(listed.ok) << listed.error.value_or("");
    ASSERT_TRUE(listed.applicationWindows);
    ASSERT_EQ(listed.applicationWindows->size(), 1u);
    EXPECT_EQ(listed.applicationWindows->front().title, "Drawing");
}

TEST_F(BinaryDisplaysTest, TheStreamPreviewShowsTheDisplayAndIsGuardedByTheStreamScope) {
    auto preview = deviceRequest("P-1", "screenStreamPreviewScreenshot");
    preview.screenStream = RemoteScreenStreamRequest{};
    preview.screenStream->mode = RemoteScreenStreamMode::display;
    preview.screenStream->displayID = 2;
    const auto picture = onlyScreenshot(send(phone, preview));
    EXPECT_EQ(std::make_pair(picture.width, picture.height), std::make_pair(640u, 480u));

    for (const auto& [command, answer] : {std::pair{"password set secret", "Extra authorization password set."},
                                          std::pair{"unlock secret", "Extra authorization settings unlocked."},
                                          std::pair{"scopes local stream", "Protected on local connections: stream"}}) {
        ASSERT_TRUE(process->writeLine(command));
        EXPECT_EQ(process->readLineStartingWith(answer, terminalDeadline), answer) << command;
    }
    const auto refused = send(phone, preview);
    EXPECT_EQ(refused.error, "Extra authorization required.");
    EXPECT_EQ(refused.errorCode, HalvardineErrorCode::extraAuthorizationRequired);
}

}  // namespace
}  // namespace zentrabo::testing
