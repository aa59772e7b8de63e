#pragma once
// The desktop pictures that scenario displays name.
#include <memory>
#include <vector>

#include "platform/desktop/virtual/desktop_scenario.hpp"
#include "platform/imaging/image.hpp"

namespace zentrabo::platform {

// The picture of each display, in scenario order (null for a display without
// one): decoded upright, and no larger than the display's largest mode
// needs. Throws ScenarioError naming the display's picture and the fault
// when a file cannot be read or decoded.
std::vector<std::shared_ptr<const RgbaImage>> loadDesktopPictures(const DesktopScenario& scenario);

// The picture stretched to the display's pixel size.
RgbaImage pictureForDisplay(const RgbaImage& picture, const DisplayMode& mode);

}  // namespace zentrabo::platform
