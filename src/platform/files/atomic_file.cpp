#include "platform/files/atomic_file.hpp"

#include <cerrno>
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
std::error_code fill(int descriptor, std::string_view content, mode_t mode) {
    std::error_code error;
    if (::fchmod(descriptor, mode) != 0) error = lastError();
    if (!error) error = writeAll(descriptor, content);
    if (!error && ::fsync(descriptor) != 0) error = lastError();
    if (::close(descriptor) != 0 && !error) error = lastError();
    return error;
}

}  // namespace

std::error_code replaceFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);  // owner-only until filled
    if (descriptor < 0) return lastError();
    std::error_code error = fill(descriptor, content, mode);
    if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = lastError();
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    const int directory = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return lastError();
    if (::fsync(directory) != 0) error = lastError();
    ::close(directory);
    return error;
}

void writeFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode) {
    if (const std::error_code error = replaceFileAtomically(path, content, mode)) {
        throw std::system_error(error, path.string());
    }
}

}  // namespace zentrabo::platform
