#pragma once
// Icons by name, as the freedesktop icon themes lay them out: the user's
// theme (gtk-icon-theme-name of $XDG_CONFIG_HOME/gtk-3.0/settings.ini) and
// the themes it inherits, then hicolor, then the "pixmaps" folders, in the
// "icons" folders of $HOME/.icons, $XDG_DATA_HOME and $XDG_DATA_DIRS. Only
// PNG and SVG files are considered.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The file of the icon for the size in pixels: an absolute path as it is;
// else in each theme the file of a folder made for the size, else the one
// whose size is closest; none when no theme has the icon.
std::optional<std::filesystem::path> findIconFile(const std::string& icon, int size);

// The icon's picture at size x size pixels: an SVG drawn at that size, a PNG
// as it is (its caller scales it); none when it cannot be found or read.
std::optional<RgbaImage> loadIcon(const std::string& icon, int size);

// An icon file's picture: SVG (by its name) rendered at size x size, else a
// PNG, JPEG or TIFF as it is; none when it cannot be read.
std::optional<RgbaImage> loadIconFile(const std::filesystem::path& path, int size);

}  // namespace zentrabo::platform
