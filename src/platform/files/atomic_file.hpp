#pragma once
// Replaces a file in one step: the new content goes to a temporary file of
// its own in the same folder, reaches the disk, is renamed over the old one,
// and the folder is flushed so the rename survives a crash. Readers see the
// old file or the new one, never a mix, and two writers never share a
// temporary file. On failure the temporary file is removed.
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <sys/types.h>

namespace zentrabo::platform {

// The folder must exist; the file gets exactly `mode`.
std::error_code replaceFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

// The same, throwing std::system_error when the file cannot be written.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

// A new file that must never take the place of anything: its content is
// written in full to a hidden temporary file of its own in the destination
// folder (mode 0666 less the umask, like any download) and reaches the disk
// before the file gets its name, by a rename that fails when the name is
// taken by any entry at all, a dangling link included. The temporary file is
// removed when the file goes unpublished.
class UnpublishedFile {
public:
    // Throws std::system_error when the file cannot be created or written.
    UnpublishedFile(const std::filesystem::path& folder, std::string_view content);
    UnpublishedFile(const UnpublishedFile&) = delete;
    UnpublishedFile& operator=(const UnpublishedFile&) = delete;
    ~UnpublishedFile();

    // Names the file path, which must lie in the folder it was written in,
    // and flushes the folder. std::errc::file_exists when an entry holds the
    // name (the file stays unpublished, so another name can be tried).
    std::error_code publish(const std::filesystem::path& path);

private:
    std::string temporaryPath_;
    std::filesystem::path folder_;
    bool published_ = false;
};

}  // namespace zentrabo::platform
