#pragma once
// GNOME's background slideshows: an XML file of pictures shown in turn from
// a start time on, each for its duration, with transitions between them,
// the whole repeated. A picture may come in several sizes.
#include <ctime>
#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/desktop/geometry.hpp"

namespace zentrabo::platform {

// The picture the slideshow shows at now on a monitor of that size: of a
// transition, its first picture for the first half and its second after;
// of several sizes, the smallest that covers the monitor, else the largest.
// A relative path is taken from the slideshow's folder. None when the file
// does not parse or names no picture.
std::optional<std::filesystem::path> gnomeSlideshowPicture(std::string_view content,
                                                           const std::filesystem::path& folder, std::time_t now,
                                                           Size monitor);

// The picture file a desktop picture setting shows: a slideshow's (".xml")
// picture at now, any other file itself. None for a slideshow that cannot be
// read.
std::optional<std::filesystem::path> shownDesktopPicture(const std::filesystem::path& picture, std::time_t now,
                                                         Size monitor);

// The picture file GNOME's background settings show now on a screen of that
// size; none when they show no picture file.
std::optional<std::filesystem::path> currentGnomeDesktopPicture(Size screen);

}  // namespace zentrabo::platform
