// Which picture file GNOME's background settings show.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/desktop/x11/gnome_desktop_picture.hpp"

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

}  // namespace
}  // namespace zentrabo::testing
