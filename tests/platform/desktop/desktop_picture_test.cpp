// A display's desktop picture: shown stretched over the display, in its
// captures and in the Dock window that draws it.
#include <gmock/gmock.h>

#include <fstream>

#include "desktop_fixture.hpp"
#include "platform/desktop/virtual/scenario_file.hpp"
#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/imaging/png_codec.hpp"
#include "support/icns_files.hpp"
#include "support/test_pictures.hpp"

namespace zentrabo::platform {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

class DesktopPictureTest : public DesktopTest {
protected:
    std::filesystem::path writePicture(const RgbaImage& image) {
        const auto path = home.root() / "picture.png";
        const auto png = encodePng(image);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        return path;
    }

    DesktopBuilder builderWithPicture(const std::string& picture) {
        ScenarioDisplay display;
        display.id = 1;
        display.bounds = {0, 0, 400, 200};
        display.scale = 2;
        display.picture = picture;
        display.modes.push_back({200, 100, 200, 100, 60, 0, 0, true});
        DesktopBuilder builder;
        builder.display(display).display(2, {400, 0, 300, 200});
        return builder;
    }

    std::optional<WindowID> pictureWindow(const std::string& name) {
        const auto windows = desktop->windows().value();
        for (const auto& window : windows) {
            if (window.title == name) return window.id;
        }
        return std::nullopt;
    }
};

TEST_F(DesktopPictureTest, ThePictureIsStretchedOverTheDisplayInCapturesAndItsDockWindow) {
    const auto path = writePicture(test::quadrantPicture(64, 64, test::uprightQuadrants));
    start(builderWithPicture(path.string()));

    EXPECT_EQ(desktop->desktopImageURL(1), path);
    EXPECT_EQ(desktop->desktopImageURL(2), std::nullopt) << "a flat background has no file";
    const auto display = desktop->displayImage(1);
    ASSERT_TRUE(display);
    EXPECT_EQ(display->width, 800u);
    EXPECT_EQ(display->height, 400u);
    test::expectQuadrants(*display, test::uprightQuadrants);

    const auto window = desktop->windowImage(*pictureWindow("Wallpaper-1"));
    ASSERT_TRUE(window);
    EXPECT_EQ(*window, *display);
    test::expectColourAt(*desktop->windowImage(*pictureWindow("Wallpaper-2")), 10, 10, ScenarioDisplay{}.background);

    // Another mode shows the picture at its own size.
    const auto mode = (*desktop->allModes(1, true))[1];
    ASSERT_EQ(desktop->setMode(1, mode), displayerror::success);
    const auto smaller = desktop->displayImage(1);
    EXPECT_EQ(smaller->width, 200u);
    test::expectQuadrants(*smaller, test::uprightQuadrants);
}

TEST_F(DesktopPictureTest, APictureThatCannotBeShownRefusesTheScenario) {
    const auto text = home.root() / "notes.txt";
    std::ofstream(text) << "not a picture";
    EXPECT_THAT([&] { start(builderWithPicture(text.string())); },
                ThrowsMessage<ScenarioError>(HasSubstr("displays[0].picture: The image data is not valid")));
    EXPECT_THAT([&] { start(builderWithPicture((home.root() / "missing.png").string())); },
                ThrowsMessage<ScenarioError>(HasSubstr("displays[0].picture: cannot be read")));
    EXPECT_THAT([&] { start(builderWithPicture("picture.png")); },
                ThrowsMessage<ScenarioError>(HasSubstr("displays[0].picture: must be an absolute path")));

    // The file form keeps the picture.
    const DesktopScenario scenario = builderWithPicture("/pictures/beach.jpg").build();
    EXPECT_EQ(parseDesktopScenario(writeDesktopScenario(scenario)), scenario);
}

std::vector<std::uint8_t> fileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST_F(DesktopPictureTest, AnApplicationsIconPictureIsItsBundlesFileAndItsRunningAndWorkspaceIcon) {
    const auto picture = test::quadrantPicture(40, 40, test::uprightQuadrants);
    const auto png = writePicture(picture);
    const auto icns = home.root() / "icon.icns";
    const auto icnsBytes = test::icnsFile({test::argbEntry("ic05", test::patternedPicture(32, 32))});
    std::ofstream(icns, std::ios::binary)
        .write(reinterpret_cast<const char*>(icnsBytes.data()), static_cast<std::streamsize>(icnsBytes.size()));
    DesktopBuilder builder;
    builder.application("Painter", "com.example.painter").spec().icon = png.string();
    builder.application("Viewer", "com.example.viewer").notRunning().spec().icon = icns.string();
    builder.application("Plain", "com.example.plain");
    start(builder);

    const auto folder = desktop->applicationFolders()[0];
    EXPECT_EQ(fileBytes(folder / "Painter.app/Contents/Resources/AppIcon.png"), fileBytes(png));
    EXPECT_EQ(fileBytes(folder / "Viewer.app/Contents/Resources/AppIcon.icns"), icnsBytes);
    EXPECT_EQ(running("com.example.painter")->icon(), picture);
    EXPECT_EQ(desktop->iconForFile(folder / "Painter.app"), picture);
    EXPECT_EQ(desktop->iconForFile(folder / "Viewer.app"), test::patternedPicture(32, 32));
    EXPECT_EQ(running("com.example.plain")->icon(), RgbaImage(128, 128, ScenarioApplication{}.iconColor));

    // The file form keeps the icon; a picture that cannot be used refuses the scenario.
    const DesktopScenario scenario = builder.build();
    EXPECT_EQ(parseDesktopScenario(writeDesktopScenario(scenario)), scenario);
    const auto text = home.root() / "notes.txt";
    std::ofstream(text) << "not a picture";
    for (const auto& [path, fault] :
         {std::pair<std::string, std::string>{text.string(), "applications[0].icon: The image data is not valid"},
          {"icon.png", "applications[0].icon: must be an absolute path"}}) {
        DesktopBuilder broken;
        broken.application("Broken", "com.example.broken").spec().icon = path;
        EXPECT_THAT([&] { start(broken); }, ThrowsMessage<ScenarioError>(HasSubstr(fault)));
    }
}

}  // namespace
}  // namespace zentrabo::platform
