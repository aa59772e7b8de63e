// Icons by name: the user's theme and its parents, hicolor, pixmaps, the
// folder made for the size or the closest one, and SVG drawn at the size.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <functional>

#include "freedesktop_fixture.hpp"
#include "platform/desktop/freedesktop/icon_theme.hpp"
#include "platform/desktop/freedesktop/icon_theme_index.hpp"
#include "platform/imaging/png_codec.hpp"

namespace zentrabo::testing {
namespace {

class IconTheme : public FreedesktopTest {
protected:
    std::filesystem::path icons() const { return home.path() / "system/icons"; }
    void writePng(const std::filesystem::path& path, std::uint32_t size) {
        const auto png = platform::encodePng(platform::RgbaImage(size, size, 0xFF0000FF));
        write(path, std::string(png.begin(), png.end()));
    }
};

TEST_F(IconTheme, FindsTheFileForTheSize) {
    write(home.path() / ".config/gtk-3.0/settings.ini", "[Settings]\ngtk-icon-theme-name=Mine\n");
    write(icons() / "Mine/index.theme",
          "[Icon Theme]\nInherits=Parent,Loop\nDirectories=32/apps\n[32/apps]\nSize=32\nType=Fixed\n");
    write(icons() / "Loop/index.theme", "[Icon Theme]\nInherits=Mine\nDirectories=\n");
    write(icons() / "Parent/index.theme",
          "[Icon Theme]\nDirectories=64/apps,scalable/apps\n[64/apps]\nSize=64\nType=Threshold\n"
          "[scalable/apps]\nSize=64\nMinSize=16\nMaxSize=256\nType=Scalable\n");
    write(icons() / "hicolor/index.theme",
          "[Icon Theme]\nDirectories=48/apps,256/apps,256@2/apps\n[48/apps]\nSize=48\nType=Fixed\n"
          "[256/apps]\nSize=256\nType=Fixed\n[256@2/apps]\nSize=256\nScale=2\nType=Fixed\n");
    for (const auto* file : {"Mine/32/apps/mine.png", "Parent/64/apps/parent.png", "Parent/scalable/apps/parent.svg",
                             "Parent/scalable/apps/vector.svg", "hicolor/48/apps/both.png", "hicolor/256/apps/both.png",
                             "hicolor/256@2/apps/double.png"}) {
        write(icons() / file, "");
    }
    write(home.path() / "system/pixmaps/old.png", "");

    const struct {
        const char* icon;
        int size;
        std::optional<std::string> expected;
    } cases[] = {
        {"mine", 32, "Mine/32/apps/mine.png"},
        {"mine", 512, "Mine/32/apps/mine.png"},       // the only one, however far
        {"parent", 65, "Parent/64/apps/parent.png"},  // within the threshold
        {"parent", 200, "Parent/scalable/apps/parent.svg"},
        {"vector", 512, "Parent/scalable/apps/vector.svg"},
        {"both", 48, "hicolor/48/apps/both.png"},
        {"both", 200, "hicolor/256/apps/both.png"},
        {"double", 512, std::nullopt},  // only for a scale of 2
        {"old", 512, (home.path() / "system/pixmaps/old.png").string()},
        {"missing", 48, std::nullopt},
        {"../hicolor/48/apps/both", 48, std::nullopt},
    };
    for (const auto& test : cases) {
        auto expected = test.expected;
        if (expected && expected->front() != '/') expected = (icons() / *expected).string();
        const auto found = platform::findIconFile(test.icon, test.size);
        EXPECT_EQ(found ? std::optional(found->string()) : std::nullopt, expected) << test.icon << " " << test.size;
    }
    const auto absolute = icons() / "hicolor/48/apps/both.png";
    EXPECT_EQ(platform::findIconFile(absolute.string(), 512), absolute);
}

TEST_F(IconTheme, AnswersFollowTheThemeFoldersWhenTheyChange) {
    write(icons() / "hicolor/index.theme", "[Icon Theme]\nDirectories=48/apps\n[48/apps]\nSize=48\nType=Fixed\n");
    write(icons() / "Mine/index.theme", "[Icon Theme]\nDirectories=apps\n[apps]\nSize=48\nType=Fixed\n");
    const auto settings = home.path() / ".config/gtk-3.0/settings.ini";
    const auto pixmaps = home.path() / "system/pixmaps";
    // What each step changed gets a time of its own well in the past, as if
    // changed a while ago (answers found while a folder has just changed are
    // not kept). Installers touch the theme's folder (its index cache).
    auto past = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
    const auto settle = [&past](const std::vector<std::filesystem::path>& changed) {
        past += std::chrono::seconds(1);
        for (const auto& path : changed) std::filesystem::last_write_time(path, past);
    };
    settle({icons(), icons() / "hicolor", icons() / "Mine"});
    const struct {
        const char* change;
        std::function<void()> make;
        std::optional<std::string> expected;
    } steps[] = {
        {"nothing has it yet", [] {}, std::nullopt},
        {"hicolor gains it",
         [&] {
             write(icons() / "hicolor/48/apps/late.png", "");
             settle({icons() / "hicolor"});
         },
         "hicolor/48/apps/late.png"},
        {"the user's theme is chosen and has it",
         [&] {
             write(icons() / "Mine/apps/late.png", "");
             write(settings, "[Settings]\ngtk-icon-theme-name=Mine\n");
             settle({icons() / "Mine", settings});
         },
         "Mine/apps/late.png"},
        {"the user's theme loses it",
         [&] {
             std::filesystem::remove(icons() / "Mine/apps/late.png");
             settle({icons() / "Mine"});
         },
         "hicolor/48/apps/late.png"},
        {"hicolor loses it too",
         [&] {
             std::filesystem::remove(icons() / "hicolor/48/apps/late.png");
             settle({icons() / "hicolor"});
         },
         std::nullopt},
        {"a pixmap appears",
         [&] {
             write(pixmaps / "late.png", "");
             settle({pixmaps});
         },
         (pixmaps / "late.png").string()},
        {"hicolor gains it a moment ago",
         [&] {
             write(icons() / "hicolor/48/apps/late.png", "");
             std::filesystem::last_write_time(icons() / "hicolor", std::filesystem::file_time_type::clock::now());
         },
         "hicolor/48/apps/late.png"},
    };
    for (const auto& step : steps) {
        step.make();
        auto expected = step.expected;
        if (expected && expected->front() != '/') expected = (icons() / *expected).string();
        // Asked twice: the second answer may be the kept one.
        for (int time = 0; time < 2; ++time) {
            const auto found = platform::findIconFile("late", 48);
            EXPECT_EQ(found ? std::optional(found->string()) : std::nullopt, expected) << step.change;
        }
    }
}

TEST_F(IconTheme, ExtremeNumbersInAnIndexNeitherOverflowNorMakeAFolderNearer) {
    const auto index = platform::parseIconThemeIndex(
        platform::KeyFile::parse("[Icon Theme]\nDirectories=big,wrong,low\n"
                                 "[big]\nSize=2147483647\nThreshold=2147483647\n"
                                 "[wrong]\nSize=48\nMinSize=-2147483648\nMaxSize=-5\n"
                                 "[low]\nSize=1\nThreshold=-2147483648\nType=Threshold\n"));
    ASSERT_TRUE(index);
    ASSERT_EQ(index->folders.size(), 3u);
    for (const auto& folder : index->folders) {
        for (const int wanted : {INT_MIN, -1, 0, 16, 48, INT_MAX}) {
            const auto distance = folder.distance(wanted);
            EXPECT_GE(distance, 0) << folder.path << " " << wanted;
            if (folder.serves(wanted)) {
                EXPECT_EQ(distance, 0) << folder.path << " " << wanted;
            }
        }
    }
    EXPECT_TRUE(index->folders[0].serves(16));
    EXPECT_FALSE(index->folders[2].serves(1));
}

TEST_F(IconTheme, DrawsSvgAtTheSizeAndReadsPng) {
    const auto svg = write(home.path() / "disc.svg",
                           "<svg xmlns='http://www.w3.org/2000/svg' width='10' height='20' viewBox='0 0 10 20'>"
                           "<rect width='10' height='20' fill='#1060e0' fill-opacity='0.5'/></svg>");
    const auto drawn = platform::loadIconFile(svg, 200);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(std::make_pair(drawn->width, drawn->height), std::make_pair(200u, 200u));
    // Its aspect kept and centred: transparent at the sides, the colour with
    // its straight (not premultiplied) channels in the middle.
    EXPECT_EQ(drawn->pixel(10, 100)[3], 0);
    const auto* middle = drawn->pixel(100, 100);
    EXPECT_NEAR(middle[0], 0x10, 3);
    EXPECT_NEAR(middle[1], 0x60, 3);
    EXPECT_NEAR(middle[2], 0xE0, 3);
    EXPECT_NEAR(middle[3], 128, 1);

    const auto png = home.path() / "square.png";
    writePng(png, 20);
    const auto read = platform::loadIconFile(png, 200);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->width, 20u);
    EXPECT_FALSE(platform::loadIconFile(write(home.path() / "broken.svg", "<svg"), 64));
    EXPECT_FALSE(platform::loadIconFile(write(home.path() / "broken.png", "not a picture"), 64));
}

}  // namespace
}  // namespace zentrabo::testing
