// Which picture file GNOME's background settings show.
#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>

#include "platform/desktop/gnome_wallpaper/gnome_desktop_picture.hpp"
#include "platform/desktop/gnome_wallpaper/gnome_slideshow.hpp"

namespace zentrabo::testing {
namespace {

using platform::GnomeBackgroundSettings;

TEST(GnomeDesktopPicture, TheSchemesPictureAsALocalFile) {
    const GnomeBackgroundSettings day{"file:///srv/day.png", "file:///srv/night.png", "zoom", "default"};
    struct Row {
        const char* what;
        GnomeBackgroundSettings settings;
        std::optional<std::string> picture;
    };
    const Row rows[] = {
        {"the light picture", day, "/srv/day.png"},
        {"no preference is light", {day.pictureUri, day.pictureUriDark, "zoom", ""}, "/srv/day.png"},
        {"a light preference", {day.pictureUri, day.pictureUriDark, "zoom", "prefer-light"}, "/srv/day.png"},
        {"the dark picture in the dark scheme",
         {day.pictureUri, day.pictureUriDark, "zoom", "prefer-dark"},
         "/srv/night.png"},
        {"no dark picture shows none", {day.pictureUri, "", "zoom", "prefer-dark"}, std::nullopt},
        {"no picture at all", {"", "", "zoom", ""}, std::nullopt},
        {"a colour alone", {day.pictureUri, day.pictureUriDark, "none", ""}, std::nullopt},
        {"escaped characters",
         {"file:///home/ann/My%20Pictures/%C3%A9t%C3%A9.jpg", "", "", ""},
         "/home/ann/My Pictures/\xC3\xA9t\xC3\xA9.jpg"},
        {"this machine by name", {"file://localhost/srv/day.png", "", "", ""}, "/srv/day.png"},
        {"a plain path", {"/srv/plain.png", "", "", ""}, "/srv/plain.png"},
        {"another machine's file", {"file://server/srv/day.png", "", "", ""}, std::nullopt},
        {"no file", {"https://example.org/day.png", "", "", ""}, std::nullopt},
        {"a relative name", {"day.png", "", "", ""}, std::nullopt},
        {"a broken escape", {"file:///srv/%zz.png", "", "", ""}, std::nullopt},
    };
    for (const auto& row : rows) {
        const auto picture = platform::gnomeDesktopPicture(row.settings);
        EXPECT_EQ(picture ? std::optional(picture->string()) : std::nullopt, row.picture) << row.what;
    }
}

TEST(GnomeDesktopPicture, TheSlideshowsPictureAtATimeAndSize) {
    const std::string slideshow =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- slides -->\n<background>\n"
        "  <starttime><year>2020</year><month>06</month><day>01</day>"
        "<hour>08</hour><minute>00</minute><second>00</second></starttime>\n"
        "  <static><duration>100.0</duration><file>\n"
        "    <size width=\"800\" height=\"600\">a-small.png</size>\n"
        "    <size width=\"3840\" height=\"2160\">/pictures/a-huge.png</size>\n"
        "    <size width=\"1920\" height=\"1080\">a-large.png</size>\n"
        "  </file></static>\n"
        "  <transition type=\"overlay\"><duration>10.0</duration><from>a-large.png</from><to>b.png</to>"
        "</transition>\n"
        "  <static><duration>50.0</duration><file> b.png </file></static>\n"
        "</background>\n";
    // The start in local time, as the file means it.
    std::tm local{};
    local.tm_year = 120;
    local.tm_mon = 5;
    local.tm_mday = 1;
    local.tm_hour = 8;
    local.tm_isdst = -1;
    const std::time_t start = std::mktime(&local);
    const platform::Size full{1920, 1080};
    struct Row {
        const char* what;
        double seconds;
        platform::Size monitor;
        std::optional<std::string> picture;
    };
    const Row rows[] = {
        {"the smallest size that covers", 0, full, "/slides/a-large.png"},
        {"a small monitor", 50, {640, 480}, "/slides/a-small.png"},
        {"none covers: the largest, an absolute path", 99, {5000, 3000}, "/pictures/a-huge.png"},
        {"a transition's first half", 104, full, "/slides/a-large.png"},
        {"a transition's second half", 106, full, "/slides/b.png"},
        {"the last picture, its text trimmed", 159, full, "/slides/b.png"},
        {"round again", 160 * 3 + 1, full, "/slides/a-large.png"},
        {"before the start", -3600, full, "/slides/a-large.png"},
    };
    for (const auto& row : rows) {
        const auto picture = platform::gnomeSlideshowPicture(
            slideshow, "/slides", start + static_cast<std::time_t>(row.seconds), row.monitor);
        EXPECT_EQ(picture ? std::optional(picture->string()) : std::nullopt, row.picture) << row.what;
    }

    const char* const unusable[] = {
        "",
        "not xml at all",
        "<background><static><duration>5</duration><file>a.png</file></static>",
        "<slides><static><duration>5</duration><file>a.png</file></static></slides>",
        "<background><static><duration>-5</duration><file>a.png</file></static></background>",
        "<background><static><duration>nan</duration><file>a.png</file></static></background>",
        "<background></background>",
        "<background><static><duration>5</duration></static></background>",
    };
    for (const char* content : unusable) {
        EXPECT_EQ(platform::gnomeSlideshowPicture(content, "/slides", start, full), std::nullopt) << content;
    }
}

}  // namespace
}  // namespace zentrabo::testing
