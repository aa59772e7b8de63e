#pragma once
// The pictures that a scenario names: the displays' desktop pictures and the
// applications' icons.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop/virtual/desktop_scenario.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The picture of each display, in scenario order (null for a display without
// one): decoded upright, and no larger than the display's largest mode
// needs. Throws ScenarioError naming the display's picture and the fault
// when a file cannot be read or decoded.
std::vector<std::shared_ptr<const RgbaImage>> loadDesktopPictures(const DesktopScenario& scenario);

// An application's icon picture: the file as read, which its bundle holds
// (under the usual extension of its format), and the picture decoded.
struct ApplicationIconPicture {
    std::vector<std::uint8_t> file;
    std::string extension;
    std::shared_ptr<const RgbaImage> image;  // at most 1024 pixels a side
};

// The icon picture of each application that names one, by bundle identifier
// (the first application of an identifier). Throws ScenarioError naming the
// application's icon and the fault when a file cannot be read or decoded.
std::map<std::string, ApplicationIconPicture> loadApplicationIconPictures(const DesktopScenario& scenario);

// The picture stretched to the display's pixel size.
RgbaImage pictureForDisplay(const RgbaImage& picture, const DisplayMode& mode);

}  // namespace zentrabo::platform
