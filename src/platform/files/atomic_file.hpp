#pragma once
// Replaces a file in one step: the new content goes to a temporary file of
// its own in the same folder, reaches the disk, is renamed over the old one,
// and the folder is flushed so the rename survives a crash. Readers see the
// old file or the new one, never a mix, and two writers never share a
// temporary file. On failure the temporary file is removed.
//
// Every temporary file written here has a hidden name of one form
// (isTemporaryFileName), and its writer holds an exclusive flock on it until
// it has its final name or is removed: a file of that name that nobody holds
// was left by a writer that died on the way (killed during a save, say), and
// removeLeftoverTemporaryFiles clears it away.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <sys/types.h>

#include "platform/files/file_descriptor.hpp"

namespace zentrabo::platform {

// The beginning of every temporary name; 16 lowercase hex digits follow.
inline constexpr std::string_view temporaryFileNamePrefix = ".unpublished-";

// Whether the name has the form of this layer's temporary files.
bool isTemporaryFileName(std::string_view name);

// The folder must exist; the file gets exactly `mode`.
std::error_code replaceFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

// The same, throwing std::system_error when the file cannot be written.
void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode);

// A new file that must never take the place of anything: its content is
// written in full to a temporary file of its own in an open folder (mode
// 0666 less the umask, like any download) and reaches the disk before the
// file gets its name, by a rename relative to that same folder descriptor
// that fails when the name is taken by any entry at all, a dangling link
// included. Whatever the folder's path leads to meanwhile, the file is
// written and named in the folder of the descriptor. The temporary file is
// removed when the file goes unpublished.
class UnpublishedFile {
public:
    // The folder descriptor is duplicated, so the caller's may close.
    // Throws std::system_error when the file cannot be created or written.
    UnpublishedFile(int folderDescriptor, std::string_view content);
    UnpublishedFile(const UnpublishedFile&) = delete;
    UnpublishedFile& operator=(const UnpublishedFile&) = delete;
    ~UnpublishedFile();

    // Names the file `name` (one component) in its folder and flushes the
    // folder. std::errc::file_exists when an entry holds the name (the file
    // stays unpublished, so another name can be tried).
    std::error_code publish(const std::string& name);

private:
    FileDescriptor folder_;
    // Held open, and locked, until the file is named or removed.
    FileDescriptor file_;
    std::string temporaryName_;
    bool published_ = false;
};

// A file about to lose its name to a replacement, held so that what it holds
// stays with that name alone: once the replacement has the name, the old file
// is emptied if another name still leads to it (a hard link someone made), so
// that no copy of it lives on under a name that is not its own. Nothing is
// held when no regular file is at the path or it cannot be opened for
// writing.
class SupersededFile {
public:
    explicit SupersededFile(const std::filesystem::path& path);
    // Once the replacement has taken the name.
    void emptyIfStillNamed();

private:
    FileDescriptor file_;
};

// Removes every regular file with a temporary name directly in the folder
// (links are followed to the folder itself) and, depth levels down, in the
// folders inside it (links not followed), unless its writer still holds it.
// Answers how many were removed; a folder that cannot be read gives none.
std::size_t removeLeftoverTemporaryFiles(const std::filesystem::path& folder, int depth = 0);

}  // namespace zentrabo::platform
