#pragma once
// The virtual desktop's installed applications as real bundle folders, so
// that folder scans find them as they would on a real desktop.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/desktop/virtual/desktop_picture.hpp"
#include "platform/desktop/virtual/desktop_scenario.hpp"

namespace zentrabo::platform {

// The virtual desktop's own folder, virtual-desktop in the program's data
// folder. It holds the desktop's application folders and nothing secret.
std::filesystem::path virtualDesktopFolder();

// The system-wide and the user's application folder of the virtual desktop:
// Applications and Home/Applications in its own folder.
std::vector<std::filesystem::path> virtualApplicationFolders();

// Writes every installed application of the scenario as
// Name.app/Contents/Info.plist with its icon (AppIcon.png in its colour, or
// its icon picture's file as AppIcon and the file's extension), replacing
// bundles an earlier
// scenario wrote there (bundles put there by hand stay). Answers the bundle
// of each bundle identifier (the first one written). Throws
// std::system_error when a bundle cannot be written.
std::map<std::string, std::filesystem::path> materializeApplicationBundles(
    const DesktopScenario& scenario, const std::vector<std::filesystem::path>& folders,
    const std::map<std::string, ApplicationIconPicture>& iconPictures);

}  // namespace zentrabo::platform
