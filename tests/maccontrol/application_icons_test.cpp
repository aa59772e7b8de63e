// Application icons on built desktops: which identifiers get one, where the
// picture comes from, when its margin is trimmed, the cache and the byte
// limit.
#include <gmock/gmock.h>

#include <chrono>

#include "controller_fixture.hpp"
#include "icon_test_support.hpp"

namespace zentrabo {
namespace {

using namespace platform;
using test::expectColour;
using test::framedPicture;
using ::testing::ElementsAre;

constexpr std::uint32_t red = 0xE02020FF;
constexpr std::uint32_t blue = 0x2040E0FF;
constexpr std::uint32_t white = 0xFFFFFFFF;

std::vector<std::string> identifiers(const std::vector<RemoteApplicationIcon>& icons) {
    std::vector<std::string> result;
    for (const auto& icon : icons) result.push_back(icon.bundleIdentifier);
    return result;
}

class ApplicationIconsTest : public ControllerTest {
protected:
    std::string picture(const std::string& name, const RgbaImage& image) {
        const auto path = home.root() / name;
        test::writePicture(path, image);
        return path.string();
    }

    std::optional<RemoteApplicationIcon> icon(const std::string& bundleIdentifier) {
        auto icons = controller->applicationIcons({bundleIdentifier});
        if (icons.empty()) return std::nullopt;
        return std::move(icons.front());
    }

    std::filesystem::path bundle(const std::string& name) { return desktop->applicationFolders().at(0) / name; }
};

TEST_F(ApplicationIconsTest, IdentifiersAreCleanedAndOnlyKnownApplicationsGetAnIcon) {
    DesktopBuilder builder;
    builder.application("Running", "com.example.running").notInstalled();
    builder.application("Installed", "com.example.installed").notRunning();
    start(builder);

    const auto icons = controller->applicationIcons(
        {" com.example.running\n", "com.example.unknown", "", "com.example.running", "  ", "com.example.installed"});
    EXPECT_THAT(identifiers(icons), ElementsAre("com.example.running", "com.example.installed"));
    for (const auto& icon : icons) {
        EXPECT_EQ(icon.pixelSize, 96);
        expectColour(icon.pngData, 48, 48, ScenarioApplication{}.iconColor, icon.bundleIdentifier.c_str());
        EXPECT_EQ(decodePng(icon.pngData).pixel(0, 0)[3], 0) << "rounded corners";
    }
    EXPECT_FALSE(controller->applicationIconCache.contains("com.example.unknown"));
    EXPECT_THAT(identifiers(controller->applicationIcons({})), ElementsAre());
}

TEST_F(ApplicationIconsTest, PicturesFromThePlatformAreTrimmedWhereTheirContentLiesAndBundleFilesNever) {
    const auto centred = framedPicture(512, {102, 102, 308, 308}, red, red);
    const auto small = framedPicture(512, {180, 180, 150, 150}, red, red);
    // Off-centre content, red above blue: cropped where it lies, rows from the top.
    const auto offCentre = framedPicture(512, {16, 16, 288, 288}, red, blue);
    DesktopBuilder builder;
    builder.application("Centred", "com.example.centred").notInstalled().spec().icon = picture("c.png", centred);
    builder.application("Small", "com.example.small").notInstalled().spec().icon = picture("s.png", small);
    builder.application("Aside", "com.example.aside").notInstalled().spec().icon = picture("a.png", offCentre);
    builder.application("Bundled", "com.example.bundled").spec().icon = picture("b.png", centred);
    start(builder);

    const struct {
        const char* what;
        std::string bundleIdentifier;
        std::uint32_t x, y, colour;
    } probes[] = {
        {"white margin trimmed away", "com.example.centred", 8, 48, red},
        {"content in the middle", "com.example.centred", 48, 48, red},
        {"content under 0.42 of the side drawn whole", "com.example.small", 16, 48, white},
        {"content under 0.42 of the side drawn whole", "com.example.small", 48, 48, red},
        {"off-centre content: its upper half on top", "com.example.aside", 48, 14, red},
        {"off-centre content: its lower half below", "com.example.aside", 48, 82, blue},
        {"off-centre content reaches the right edge", "com.example.aside", 88, 30, red},
        {"the bundle's own file keeps its margin", "com.example.bundled", 8, 48, white},
        {"the bundle's own file keeps its margin", "com.example.bundled", 48, 48, red},
    };
    for (const auto& probe : probes) {
        const auto made = icon(probe.bundleIdentifier);
        ASSERT_TRUE(made) << probe.what;
        expectColour(made->pngData, probe.x, probe.y, probe.colour, probe.what);
    }
}

TEST_F(ApplicationIconsTest, TheCacheServesAnUnchangedBundleAndANewModificationSecondRebuilds) {
    DesktopBuilder builder;
    builder.application("Painter", "com.example.painter").notRunning();
    start(builder);
    const auto iconFile = bundle("Painter.app") / "Contents/Resources/AppIcon.png";

    const auto first = icon("com.example.painter");
    ASSERT_TRUE(first);
    // Rewritten in place, the picture leaves the bundle folder's date alone.
    test::writePicture(iconFile, RgbaImage(64, 64, red));
    EXPECT_EQ(icon("com.example.painter")->pngData, first->pngData);

    const auto modified = std::filesystem::last_write_time(bundle("Painter.app"));
    std::filesystem::last_write_time(bundle("Painter.app"), modified + std::chrono::seconds(1));
    const auto rebuilt = icon("com.example.painter");
    ASSERT_TRUE(rebuilt);
    expectColour(rebuilt->pngData, 48, 48, red, "rebuilt from the new picture");

    // A failure leaves the identifier out and forgets its icon.
    std::filesystem::remove_all(bundle("Painter.app"));
    EXPECT_FALSE(icon("com.example.painter"));
    EXPECT_FALSE(controller->applicationIconCache.contains("com.example.painter"));
}

TEST_F(ApplicationIconsTest, AnIconOfExactlyTheByteLimitIsDeliveredAndOneByteMoreIsNot) {
    DesktopBuilder builder;
    builder.application("Painter", "com.example.painter").spec().icon =
        picture("p.png", test::framedPicture(512, {40, 60, 400, 380}, red, blue, 0x00000000));
    start(builder);
    const auto size = static_cast<std::int64_t>(icon("com.example.painter")->pngData.size());

    controller.emplace(*desktop, size);
    EXPECT_TRUE(icon("com.example.painter"));
    controller.emplace(*desktop, size - 1);
    EXPECT_FALSE(icon("com.example.painter"));
}

TEST_F(ApplicationIconsTest, OnlyTheFirstIdentifiersOfALongRequestAreLookedAt) {
    DesktopBuilder builder;
    builder.application("Early", "com.example.early").notInstalled();
    builder.application("Late", "com.example.late").notInstalled();
    start(builder);

    const std::size_t limit = DesktopController::maximumIconIdentifiersLookedAt;
    // "late" as the distinct identifier at the position given (from 1), in a
    // request of a thousand more, after a repeat and a blank that do not count.
    const auto requestWithLateAt = [](std::size_t position) {
        std::vector<std::string> requested{"com.example.early", " com.example.early", ""};
        for (std::size_t index = 2; index <= 1000; ++index) {
            if (index == position) requested.push_back("com.example.late");
            requested.push_back("com.example.missing" + std::to_string(index));
        }
        return requested;
    };
    const struct {
        std::size_t position;
        std::vector<std::string> expected;
    } cases[] = {
        {limit, {"com.example.early", "com.example.late"}},
        {limit + 1, {"com.example.early"}},
        {900, {"com.example.early"}},
    };
    for (const auto& probe : cases) {
        EXPECT_EQ(identifiers(controller->applicationIcons(requestWithLateAt(probe.position))), probe.expected)
            << probe.position;
    }
}

}  // namespace
}  // namespace zentrabo
