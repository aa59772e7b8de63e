#pragma once
// The user's XDG base folders, read from the environment at every call so
// that tests can redirect them.
#include <filesystem>
#include <string>
#include <vector>

namespace zentrabo::platform {

// $XDG_CONFIG_HOME when it is an absolute path, else .config in the home
// folder (homeFolderPath).
std::filesystem::path xdgConfigHome();
// $XDG_DATA_HOME when it is an absolute path, else .local/share there.
std::filesystem::path xdgDataHome();
// $XDG_STATE_HOME when it is an absolute path, else .local/state there.
std::filesystem::path xdgStateHome();

// The absolute folders of $XDG_DATA_DIRS (default /usr/local/share and
// /usr/share) and of $XDG_CONFIG_DIRS (default /etc/xdg), in their order.
std::vector<std::filesystem::path> xdgDataDirs();
std::vector<std::filesystem::path> xdgConfigDirs();
// Where data is looked for: $XDG_DATA_HOME, then xdgDataDirs().
std::vector<std::filesystem::path> xdgDataSearchPath();

// The non-empty parts of a colon-separated variable ($PATH,
// $XDG_CURRENT_DESKTOP); none when it is unset.
std::vector<std::string> colonSeparatedVariable(const char* variable);

// The program's own folders in those three, named by its ProductIdentity.
std::filesystem::path configFolder();
std::filesystem::path dataFolder();
std::filesystem::path stateFolder();

}  // namespace zentrabo::platform
