#pragma once
// Replaces a file in one step: the new content goes to a temporary file in
// the same folder, reaches the disk, and is renamed over the old one.
#include <filesystem>
#include <string_view>

#include <sys/types.h>

namespace zentrabo::platform {

// Throws std::system_error when the file cannot be written.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

}  // namespace zentrabo::platform
