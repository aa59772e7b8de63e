#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// The store files live in the program's data and config folders.
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

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
// file, never a mix. The old file is then emptied if another name still
// leads to it (SupersededFile): a hard link made to a store keeps none of
// its secrets once the store is rewritten.
std::error_code writeStoreFileAtomically(const std::filesystem::path& path, std::string_view contents);

}  // namespace zentrabo::platform
