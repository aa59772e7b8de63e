#pragma once
// The user's XDG base folders, read from the environment at every call so
// that tests can redirect them.
#include <filesystem>

namespace zentrabo::platform {

// $XDG_CONFIG_HOME when it is an absolute path, else .config in the home
// folder (homeFolderPath).
std::filesystem::path xdgConfigHome();
// $XDG_DATA_HOME when it is an absolute path, else .local/share there.
std::filesystem::path xdgDataHome();
// $XDG_STATE_HOME when it is an absolute path, else .local/state there.
std::filesystem::path xdgStateHome();

// The program's own folders in those three, named by its ProductIdentity.
std::filesystem::path configFolder();
std::filesystem::path dataFolder();
std::filesystem::path stateFolder();

}  // namespace zentrabo::platform
