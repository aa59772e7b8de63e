#pragma once
// The user's named folders (downloads, documents, ...) as the desktop
// session's user-dirs.dirs in the XDG config folder records them.
#include <filesystem>
#include <optional>
#include <string_view>

namespace zentrabo::platform {

// The folder that `$XDG_CONFIG_HOME/user-dirs.dirs` gives for the variable
// (for example "XDG_DOWNLOAD_DIR"): an absolute path, or "$HOME/..." with
// the home folder put in. None when the file, the line or a usable value is
// missing; the last line naming the variable counts, as when the shell reads it.
std::optional<std::filesystem::path> xdgUserFolder(std::string_view variable);

// The user's download folder: XDG_DOWNLOAD_DIR, else Downloads in the home folder.
std::filesystem::path downloadFolder();

}  // namespace zentrabo::platform
