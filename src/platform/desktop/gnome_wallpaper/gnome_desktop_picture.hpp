#pragma once
// The desktop picture of a GNOME session, from its background settings
// (GSettings org.gnome.desktop.background, and the colour scheme of
// org.gnome.desktop.interface), where those schemas are installed. Other
// desktops keep their pictures elsewhere and are not read.
#include <filesystem>
#include <optional>
#include <string>

namespace zentrabo::platform {

// The settings as read; a key the schema lacks reads "".
struct GnomeBackgroundSettings {
    std::string pictureUri;
    std::string pictureUriDark;
    // "none" shows no picture, only the background colour.
    std::string pictureOptions;
    // "prefer-dark" shows the dark picture.
    std::string colorScheme;
};

// The settings through the process's GSettings backend; none when the
// background schema is not installed.
std::optional<GnomeBackgroundSettings> readGnomeBackgroundSettings();

// The local picture file the settings show: the URI (or absolute path) of
// the scheme's picture; none when they show no picture or one that is no
// file on this machine.
std::optional<std::filesystem::path> gnomeDesktopPicture(const GnomeBackgroundSettings& settings);

}  // namespace zentrabo::platform
