#include "platform/files/atomic_file.hpp"

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zentrabo::platform {

namespace {

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

// Writes, flushes and closes the descriptor; it is closed on every path.
std::error_code fill(int descriptor, std::string_view content) {
    std::error_code error = writeAll(descriptor, content);
    if (!error && ::fsync(descriptor) != 0) error = lastError();
    if (::close(descriptor) != 0 && !error) error = lastError();
    return error;
}

std::error_code flushFolder(const std::filesystem::path& folder) {
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return lastError();
    std::error_code error;
    if (::fsync(directory) != 0) error = lastError();
    ::close(directory);
    return error;
}

// A hidden name of its own in the folder, created exclusively with the mode
// any new file gets (0666 less the umask); the descriptor is returned.
int createTemporaryFile(const std::filesystem::path& folder, std::string& path) {
    std::random_device source;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[17];
        std::snprintf(suffix, sizeof suffix, "%08x%08x", source(), source());
        path = (folder / (std::string(".unpublished-") + suffix)).string();
        const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor >= 0 || errno != EEXIST) return descriptor;
    }
    errno = EEXIST;
    return -1;
}

// Renames without replacing; where the file system cannot rename that way,
// a hard link (which never replaces either) and the removal of the old name.
int renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
    if (::link(from.c_str(), to.c_str()) != 0) return -1;
    ::unlink(from.c_str());
    return 0;
}

}  // namespace

std::error_code replaceFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);  // owner-only until filled
    if (descriptor < 0) return lastError();
    std::error_code error;
    if (::fchmod(descriptor, mode) != 0) {
        error = lastError();
        ::close(descriptor);
    } else {
        error = fill(descriptor, content);
    }
    if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    return flushFolder(folder);
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
    if (const std::error_code error = replaceFileAtomically(path, content, mode)) {
        throw std::system_error(error, path.string());
    }
}

UnpublishedFile::UnpublishedFile(const std::filesystem::path& folder, std::string_view content)
    : folder_(folder.empty() ? "." : folder) {
    const int descriptor = createTemporaryFile(folder_, temporaryPath_);
    if (descriptor < 0) throw std::system_error(lastError(), folder_.string());
    if (const std::error_code error = fill(descriptor, content)) {
        ::unlink(temporaryPath_.c_str());
        throw std::system_error(error, folder_.string());
    }
}

UnpublishedFile::~UnpublishedFile() {
    if (!published_) ::unlink(temporaryPath_.c_str());
}

std::error_code UnpublishedFile::publish(const std::filesystem::path& path) {
    if (published_) return std::make_error_code(std::errc::invalid_argument);
    if (renameWithoutReplacing(temporaryPath_, path.string()) != 0) return lastError();
    published_ = true;
    // The name is there whatever the flush says; a failed flush only leaves
    // it less sure to survive a crash, which is no reason to report a file
    // that exists as unsaved.
    flushFolder(folder_);
    return {};
}

}  // namespace zentrabo::platform
