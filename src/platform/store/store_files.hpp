#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace zentrabo::platform {

// $XDG_DATA_HOME/zentrabo, else $HOME/.local/share/zentrabo. The variables
// are read at every call so tests can redirect them; a relative XDG value
// is ignored, as the XDG rules ask.
std::filesystem::path dataFolder();

// $XDG_CONFIG_HOME/zentrabo, else $HOME/.config/zentrabo.
std::filesystem::path configFolder();

// Creates the folder and any missing parents; the folder itself is made
// owner-only (0700) even when it already existed with wider rights.
std::error_code ensurePrivateFolder(const std::filesystem::path& folder);

// The largest store file we read; anything bigger is refused, not loaded.
inline constexpr std::size_t maximumStoreFileSize = 16 * 1024 * 1024;

// Reads a whole regular file without waiting on it. A missing file gives
// std::errc::no_such_file_or_directory; one over the size limit
// std::errc::file_too_large; anything but a regular file (a FIFO, a
// device, a folder) std::errc::invalid_argument.
std::error_code readStoreFile(const std::filesystem::path& path, std::string& contents);

// Replaces the file with the contents in one step: the folder is created
// owner-only (0700), the data goes to a temporary owner-only (0600) file
// beside it, is flushed to disk, renamed over the old file, and the folder
// is flushed so the rename survives a crash. Readers see the old or the new
// file, never a mix.
std::error_code writeStoreFileAtomically(const std::filesystem::path& path, std::string_view contents);

}  // namespace zentrabo::platform
