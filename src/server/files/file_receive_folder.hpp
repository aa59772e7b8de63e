#pragma once
// The folder that files sent by a device are saved into: the one the user
// chose, kept in the user defaults, or Zentrabo in the user's download
// folder (XDG_DOWNLOAD_DIR of user-dirs.dirs, else ~/Downloads). Nothing
// here creates or checks the folder; saving a file does.
#include "platform/store/user_defaults.hpp"

#include <string>
#include <string_view>
#include <system_error>

namespace zentrabo {

inline constexpr std::string_view fileReceiveFolderPathKey = "fileReceiveFolderPath";

// The folder in effect, read afresh from the defaults at every call: the
// stored path as stored (spaces kept) unless it is blank, else the default.
std::string fileReceiveFolderURL(platform::UserDefaults& defaults);

// The short form shown to the user: "~" for the home folder, "~/..." inside
// it, any other path in full ("/home/me2" is not inside "/home/me").
std::string fileReceiveFolderDisplayPath(const std::string& folder);

// Stores a folder the user named, as an absolute path: a leading "~" is
// expanded, a relative path is taken from the current folder (as a shell
// would), "." and ".." are resolved. The folder need not exist yet. A blank
// text stores nothing and gives std::errc::invalid_argument; a path that
// cannot be saved gives the settings file's error and changes nothing.
std::error_code storeChosenFileReceiveFolder(platform::UserDefaults& defaults, std::string_view typedPath);

// Back to the default folder; the settings file's error when that cannot be
// saved.
std::error_code resetFileReceiveFolder(platform::UserDefaults& defaults);

}  // namespace zentrabo
