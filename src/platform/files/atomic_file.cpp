#include "platform/files/atomic_file.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files/item_descriptor.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::size_t temporarySuffixLength = 16;

std::error_code lastError() { return {errno, std::generic_category()}; }

std::error_code writeAll(int descriptor, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(descriptor, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return lastError();
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// Writes the content and flushes it to the disk.
std::error_code fill(int descriptor, std::string_view content) {
    if (std::error_code error = writeAll(descriptor, content)) return error;
    if (::fsync(descriptor) != 0) return lastError();
    return {};
}

// A temporary name of its own in the folder, created exclusively (never
// through a link) with the mode given less the umask, and locked, so that no
// removal of leftovers takes it while it is written. Its name is set.
FileDescriptor createTemporaryFile(int folder, mode_t mode, std::string& name, std::error_code& error) {
    std::random_device source;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[temporarySuffixLength + 1];
        std::snprintf(suffix, sizeof suffix, "%08x%08x", source(), source());
        name = std::string(temporaryFileNamePrefix) + suffix;
        FileDescriptor file(::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (file) {
            // Only a removal that found the name in the moment since its
            // creation holds it; the file is then gone, and so is the write.
            static_cast<void>(::flock(file.get(), LOCK_EX | LOCK_NB));
            error.clear();
            return file;
        }
        if (errno != EEXIST) break;
    }
    error = lastError();
    return {};
}

// Renames within the folder without replacing; where the file system cannot
// rename that way, a hard link (which never replaces either) and the
// removal of the old name.
int renameWithoutReplacing(int folder, const std::string& from, const std::string& to) {
    if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0) return -1;
    ::unlinkat(folder, from.c_str(), 0);
    return 0;
}

struct CloseDirectory {
    void operator()(DIR* directory) const { closedir(directory); }
};

// Removes the entry when it is a regular file that no writer holds; true
// when it was removed.
bool removeUnheldFile(int folder, const char* name) {
    struct stat listed {};
    if (::fstatat(folder, name, &listed, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(listed.st_mode)) return false;
    const FileDescriptor file(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat opened {};
    if (!file || ::fstat(file.get(), &opened) != 0 || itemIdentity(opened) != itemIdentity(listed)) return false;
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) return false;  // a live writer's
    struct stat current {};
    if (::fstatat(folder, name, &current, AT_SYMLINK_NOFOLLOW) != 0 || itemIdentity(current) != itemIdentity(listed)) {
        return false;
    }
    return ::unlinkat(folder, name, 0) == 0;
}

// Takes the descriptor of a folder open for reading.
std::size_t removeLeftovers(int descriptor, int depth) {
    std::unique_ptr<DIR, CloseDirectory> directory(fdopendir(descriptor));
    if (!directory) {
        ::close(descriptor);
        return 0;
    }
    std::size_t removed = 0;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const int folder = dirfd(directory.get());
        if (isTemporaryFileName(name)) {
            if (removeUnheldFile(folder, name.c_str())) ++removed;
            continue;
        }
        if (depth <= 0 || (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)) continue;
        const int inner = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (inner >= 0) removed += removeLeftovers(inner, depth - 1);
    }
    return removed;
}

}  // namespace

bool isTemporaryFileName(std::string_view name) {
    if (!name.starts_with(temporaryFileNamePrefix)) return false;
    const std::string_view suffix = name.substr(temporaryFileNamePrefix.size());
    return suffix.size() == temporarySuffixLength &&
           suffix.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::error_code replaceFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
    const std::filesystem::path folderPath = path.parent_path().empty() ? "." : path.parent_path();
    const FileDescriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return lastError();
    std::string temporary;
    std::error_code error;
    FileDescriptor file = createTemporaryFile(folder.get(), 0600, temporary, error);  // owner-only until filled
    if (!file) return error;
    if (::fchmod(file.get(), mode) != 0) error = lastError();
    if (!error) error = fill(file.get(), content);
    const std::string name = path.filename().string();
    if (!error && ::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0) error = lastError();
    if (error) {
        ::unlinkat(folder.get(), temporary.c_str(), 0);
        return error;
    }
    if (::fsync(folder.get()) != 0) return lastError();
    return {};
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
    if (const std::error_code error = replaceFileAtomically(path, content, mode)) {
        throw std::system_error(error, path.string());
    }
}

UnpublishedFile::UnpublishedFile(int folderDescriptor, std::string_view content)
    : folder_(::fcntl(folderDescriptor, F_DUPFD_CLOEXEC, 0)) {
    if (!folder_) throw std::system_error(lastError(), "folder");
    std::error_code error;
    file_ = createTemporaryFile(folder_.get(), 0666, temporaryName_, error);
    if (!file_) throw std::system_error(error, "temporary file");
    if ((error = fill(file_.get(), content))) {
        ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
        throw std::system_error(error, temporaryName_);
    }
}

UnpublishedFile::~UnpublishedFile() {
    if (!published_) ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
}

std::error_code UnpublishedFile::publish(const std::string& name) {
    if (published_) return std::make_error_code(std::errc::invalid_argument);
    if (name.empty() || name.find('/') != std::string::npos) return std::make_error_code(std::errc::invalid_argument);
    if (renameWithoutReplacing(folder_.get(), temporaryName_, name) != 0) return lastError();
    published_ = true;
    file_.reset();
    // The name is there whatever the flush says; a failed flush only leaves
    // it less sure to survive a crash, which is no reason to report a file
    // that exists as unsaved.
    ::fsync(folder_.get());
    return {};
}

SupersededFile::SupersededFile(const std::filesystem::path& path)
    : file_(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)) {
    struct stat status {};
    if (file_ && (::fstat(file_.get(), &status) != 0 || !S_ISREG(status.st_mode))) file_.reset();
}

void SupersededFile::emptyIfStillNamed() {
    struct stat status {};
    if (file_ && ::fstat(file_.get(), &status) == 0 && status.st_nlink > 0) {
        static_cast<void>(::ftruncate(file_.get(), 0));
    }
    file_.reset();
}

std::size_t removeLeftoverTemporaryFiles(const std::filesystem::path& folder, int depth) {
    std::error_code error;
    const FileDescriptor located = locateItem(folder.string(), error);
    if (!located) return 0;
    FileDescriptor opened = reopenItem(located.get(), O_RDONLY | O_DIRECTORY | O_NONBLOCK, error);
    if (!opened) return 0;
    const int descriptor = opened.get();
    // removeLeftovers takes the descriptor over.
    static_cast<void>(opened.release());
    return removeLeftovers(descriptor, depth);
}

}  // namespace zentrabo::platform
