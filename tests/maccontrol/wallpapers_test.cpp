// Display wallpapers: the Dock window that shows the picture, else the
// picture file, scaled to at most 2400 pixels a side.
#include <gmock/gmock.h>

#include <fstream>

#include "controller_fixture.hpp"
#include "platform/imaging/jpeg_codec.hpp"
#include "support/test_pictures.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using test::blue;
using test::red;
using ::testing::MatchesRegex;

class WallpapersTest : public ControllerTest {
protected:
    std::string writeJpeg(const std::vector<std::uint8_t>& jpeg, const std::string& name = "picture.jpg") {
        const auto path = home.root() / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));
        return path.string();
    }

    static ScenarioDisplay display(DisplayID id, Rect bounds, std::optional<std::string> picture = {},
                                   std::optional<std::string> name = {}) {
        ScenarioDisplay spec;
        spec.id = id;
        spec.bounds = bounds;
        spec.background = blue;
        spec.picture = std::move(picture);
        spec.name = std::move(name);
        return spec;
    }

    RgbaImage wallpaperPicture(std::optional<DisplayID> displayID = std::nullopt) {
        const auto wallpaper = controller->displayWallpapers(displayID);
        if (!wallpaper) {
            ADD_FAILURE() << "no wallpaper";
            return {};
        }
        EXPECT_EQ(wallpaper->contentType, "public.jpeg");
        return decodeJpeg(wallpaper->data);
    }
};

TEST_F(WallpapersTest, TheDockWindowCoveringMostOfTheDisplayWinsTheHigherLayerBreaksTies) {
    struct Window {
        const char* what;
        std::string title;
        Rect frame;
        std::uint32_t expected;  // the red window's colour, or the blue picture
    };
    // The display is 2000 x 1000 points; the desktop picture's own Dock
    // window lies in the lowest layer, an application's windows in layer 0.
    for (const auto& window : {
             Window{"80 %: a display-sized window shifted off the display", "Wallpaper-9", {400, 0, 2000, 1000}, blue},
             Window{"the whole display ties and wins by its layer", "Wallpaper-9", {0, 0, 2000, 1000}, red},
             Window{"0.9995 is within 0.001 of the picture's 1.0", "Wallpaper-9", {1, 0, 2000, 1000}, red},
             Window{"0.99 is not", "Wallpaper-9", {20, 0, 2000, 1000}, blue},
             Window{"a smaller window covers all of itself", "Wallpaper-9", {0, 0, 1000, 500}, red},
             Window{"another name", "Desktop-9", {0, 0, 2000, 1000}, blue},
         }) {
        SCOPED_TRACE(window.what);
        DesktopBuilder builder;
        builder.display(display(1, {0, 0, 2000, 1000}));
        ScenarioWindow spec;
        spec.title = window.title;
        spec.frame = window.frame;
        spec.color = red;
        builder.application("Dock", "com.example.dock").window(spec);
        start(builder);
        test::expectColourAt(wallpaperPicture(), 10, 10, window.expected);
    }
}

TEST_F(WallpapersTest, RecordsNameTheirDisplayAndLeaveTheMainOnesIdentifierOut) {
    DesktopBuilder builder;
    builder.display(display(1, {0, 0, 400, 200}, std::nullopt, "Built-in"));
    builder.display(display(2, {400, 0, 300, 200}));
    start(builder);

    const auto main = controller->displayWallpapers(std::nullopt);
    ASSERT_TRUE(main);
    EXPECT_EQ(main->displayID, std::nullopt);
    EXPECT_EQ(main->displayName, "Built-in");
    EXPECT_THAT(main->filename, MatchesRegex("wallpaper-built-in-[0-9]{8}-[0-9]{6}\\.jpg"));
    EXPECT_EQ(controller->displayWallpapers(1)->displayID, std::nullopt);
    EXPECT_NE(main->id, controller->displayWallpapers(1)->id);

    const auto side = controller->displayWallpapers(2);
    ASSERT_TRUE(side);
    EXPECT_EQ(side->displayID, 2u);
    EXPECT_EQ(side->displayName, "Monitor 2");
    EXPECT_EQ(decodeJpeg(side->data).width, 300u);
    EXPECT_EQ(controller->displayWallpapers(77), std::nullopt) << "no display, no window, no file";
}

TEST_F(WallpapersTest, WithoutScreenRecordingThePictureFileIsReadAndLargePicturesShrink) {
    struct Picture {
        std::uint32_t width;
        std::uint32_t height;
        std::uint32_t expectedWidth;
        std::uint32_t expectedHeight;
    };
    for (const auto& picture : {Picture{6016, 3384, 2400, 1350}, Picture{1920, 1080, 1920, 1080}}) {
        SCOPED_TRACE(picture.width);
        const auto path =
            writeJpeg(encodeJpeg(test::quadrantPicture(picture.width, picture.height, test::uprightQuadrants), 0.9));
        DesktopBuilder builder;
        builder.display(display(1, {0, 0, 400, 200}, path)).screenRecordingAllowed(false);
        start(builder);
        const RgbaImage wallpaper = wallpaperPicture();
        EXPECT_EQ(wallpaper.width, picture.expectedWidth);
        EXPECT_EQ(wallpaper.height, picture.expectedHeight);
        test::expectQuadrants(wallpaper, test::uprightQuadrants);
    }
}

TEST_F(WallpapersTest, PicturesWithAnExifOrientationComeOutUpright) {
    for (const auto& layout : test::storedOrientations) {
        SCOPED_TRACE(layout.orientation);
        const RgbaImage stored =
            test::quadrantPicture(layout.swapsSides ? 200 : 400, layout.swapsSides ? 400 : 200, layout.stored);
        const auto path = writeJpeg(test::withExifOrientation(encodeJpeg(stored, 0.9), layout.orientation, true));
        DesktopBuilder builder;
        builder.display(display(1, {0, 0, 400, 200}, path)).screenRecordingAllowed(false);
        start(builder);
        const RgbaImage wallpaper = wallpaperPicture();
        EXPECT_EQ(wallpaper.width, 400u);
        test::expectQuadrants(wallpaper, test::uprightQuadrants);
    }
}

TEST_F(WallpapersTest, WithNeitherTheWindowNorTheFileThereIsNoWallpaper) {
    const auto path = writeJpeg(encodeJpeg(test::quadrantPicture(64, 32, test::uprightQuadrants), 0.9));
    DesktopBuilder builder;
    builder.display(display(1, {0, 0, 400, 200}, path));
    builder.display(display(2, {400, 0, 300, 200}));
    builder.screenRecordingAllowed(false);
    start(builder);
    EXPECT_TRUE(controller->displayWallpapers(1));
    EXPECT_EQ(controller->displayWallpapers(2), std::nullopt) << "no permission and no picture file";
    std::filesystem::remove(path);
    EXPECT_EQ(controller->displayWallpapers(1), std::nullopt) << "the picture file is gone";
    // The Dock window still shows the picture.
    desktop->setScreenRecordingAllowed(true);
    test::expectQuadrants(wallpaperPicture(1), test::uprightQuadrants);
}

TEST_F(WallpapersTest, OnlyImagesLongerThan2400PixelsAreRedrawn) {
    DesktopBuilder builder;
    start(builder);
    RgbaImage image(2400, 3, 0x123456FF);
    image.pixel(0, 0)[0] = 0xFF;  // a detail that any resampling would blur
    EXPECT_EQ(controller->limitedWallpaperImage(image), image);
    RgbaImage longer(3, 2401, 0x123456FF);
    const auto limited = controller->limitedWallpaperImage(longer);
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->height, 2400u);
    EXPECT_EQ(limited->width, 3u);
}

}  // namespace
}  // namespace zentrabo
