#pragma once
// Replaces a file in one step: the new content goes to a temporary file of
// its own in the same folder, reaches the disk, is renamed over the old one,
// and the folder is flushed so the rename survives a crash. Readers see the
// old file or the new one, never a mix, and two writers never share a
// temporary file. On failure the temporary file is removed.
#include <filesystem>
#include <string_view>
#include <system_error>

#include <sys/types.h>

namespace zentrabo::platform {

// The folder must exist; the file gets exactly `mode`.
std::error_code replaceFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

// The same, throwing std::system_error when the file cannot be written.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

}  // namespace zentrabo::platform
