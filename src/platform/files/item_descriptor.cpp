#include "platform/files/item_descriptor.hpp"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <deque>
#include <string_view>

namespace zentrabo::platform {

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

FileDescriptor failed(std::error_code& error, std::error_code cause) {
    error = cause;
    return {};
}

bool isUsablePath(const std::string& path) { return !path.empty() && path.find('\0') == std::string::npos; }

// The non-empty components between the slashes.
std::vector<std::string> components(std::string_view path) {
    std::vector<std::string> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('/');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty()) parts.emplace_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// The folder a look-up starts from: the root for an absolute path, else the
// current folder.
FileDescriptor startingFolder(std::string_view path) {
    return FileDescriptor(::open(path.front() == '/' ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// The text of the link the O_PATH | O_NOFOLLOW descriptor names.
std::optional<std::string> linkText(int link, std::error_code& error) {
    std::array<char, PATH_MAX> text{};
    const ssize_t length = ::readlinkat(link, "", text.data(), text.size());
    if (length < 0) {
        error = lastError();
        return std::nullopt;
    }
    if (static_cast<std::size_t>(length) == text.size()) {
        error = std::make_error_code(std::errc::filename_too_long);
        return std::nullopt;
    }
    return std::string(text.data(), static_cast<std::size_t>(length));
}

}  // namespace

FileDescriptor locateItem(const std::string& path, std::error_code& error) {
    if (!isUsablePath(path)) return failed(error, std::make_error_code(std::errc::invalid_argument));
    open_how how{};
    how.flags = O_PATH | O_CLOEXEC;
    how.resolve = RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long descriptor = ::syscall(SYS_openat2, AT_FDCWD, path.c_str(), &how, sizeof how);
        if (descriptor >= 0) {
            error.clear();
            return FileDescriptor(static_cast<int>(descriptor));
        }
        if (errno == EINTR) continue;
        // No openat2 in this kernel, or a sandbox that refuses it.
        if (errno == ENOSYS || errno == EPERM) return locateItemByComponents(path, error);
        return failed(error, lastError());
    }
}

FileDescriptor locateItemByComponents(const std::string& path, std::error_code& error) {
    if (!isUsablePath(path)) return failed(error, std::make_error_code(std::errc::invalid_argument));
    FileDescriptor current = startingFolder(path);
    if (!current) return failed(error, lastError());
    const std::vector<std::string> parts = components(path);
    std::deque<std::string> pending(parts.begin(), parts.end());
    // "folder/" names a folder, as "folder/." does.
    if (path.back() == '/') pending.emplace_back(".");
    int links = 0;
    while (!pending.empty()) {
        const std::string name = std::move(pending.front());
        pending.pop_front();
        FileDescriptor next(::openat(current.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
        if (!next) return failed(error, lastError());
        struct stat status {};
        if (::fstat(next.get(), &status) != 0) return failed(error, lastError());
        if (!S_ISLNK(status.st_mode)) {
            // A component that is no folder ends the look-up at the next
            // openat, which fails with ENOTDIR.
            current = std::move(next);
            continue;
        }
        if (++links > maximumSymbolicLinkCount)
            return failed(error, std::make_error_code(std::errc::too_many_symbolic_link_levels));
        const auto text = linkText(next.get(), error);
        if (!text) return {};
        if (text->empty()) return failed(error, std::make_error_code(std::errc::no_such_file_or_directory));
        // The link's components take its place; a relative target starts
        // in the folder that holds the link, which is where current stands.
        const std::vector<std::string> target = components(*text);
        pending.insert(pending.begin(), target.begin(), target.end());
        if (text->back() == '/') pending.insert(pending.begin() + static_cast<std::ptrdiff_t>(target.size()), ".");
        if (text->front() == '/') {
            current = startingFolder(*text);
            if (!current) return failed(error, lastError());
        }
    }
    error.clear();
    return current;
}

std::optional<struct stat> itemStatus(int descriptor, std::error_code& error) {
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        error = lastError();
        return std::nullopt;
    }
    error.clear();
    return status;
}

std::optional<std::string> itemPath(int descriptor) {
    if (descriptor < 0) return std::nullopt;
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    std::array<char, PATH_MAX> text{};
    const ssize_t length = ::readlink(link.c_str(), text.data(), text.size());
    if (length <= 0 || static_cast<std::size_t>(length) == text.size() || text[0] != '/') return std::nullopt;
    std::string path(text.data(), static_cast<std::size_t>(length));
    constexpr std::string_view deleted = " (deleted)";
    struct stat status {};
    if (path.ends_with(deleted) && (::fstat(descriptor, &status) != 0 || status.st_nlink == 0)) return std::nullopt;
    return path;
}

FileDescriptor reopenItem(int descriptor, int flags, std::error_code& error) {
    struct stat located {};
    if (::fstat(descriptor, &located) != 0) return failed(error, lastError());
    flags |= O_CLOEXEC | O_NOCTTY;
    FileDescriptor opened(S_ISDIR(located.st_mode)
                              ? ::openat(descriptor, ".", flags)
                              : ::open(("/proc/self/fd/" + std::to_string(descriptor)).c_str(), flags));
    if (!opened) return failed(error, lastError());
    struct stat status {};
    if (::fstat(opened.get(), &status) != 0) return failed(error, lastError());
    if (itemIdentity(status) != itemIdentity(located)) return failed(error, {ESTALE, std::generic_category()});
    error.clear();
    return opened;
}

std::optional<NearestFolder> locateNearestFolder(const std::string& path, std::error_code& error) {
    if (!isUsablePath(path)) {
        error = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    const std::vector<std::string> parts = components(path);
    const std::string start = path.front() == '/' ? "/" : ".";
    for (std::size_t existing = parts.size() + 1; existing-- > 0;) {
        std::string prefix = start;
        for (std::size_t index = 0; index < existing; ++index) prefix += "/" + parts[index];
        FileDescriptor folder = locateItem(prefix, error);
        if (!folder) {
            if (error == std::errc::no_such_file_or_directory) continue;
            return std::nullopt;
        }
        const auto status = itemStatus(folder.get(), error);
        if (!status) return std::nullopt;
        if (!S_ISDIR(status->st_mode)) {
            error = std::make_error_code(std::errc::not_a_directory);
            return std::nullopt;
        }
        NearestFolder nearest{std::move(folder), {}};
        for (std::size_t index = existing; index < parts.size(); ++index) {
            const std::string& part = parts[index];
            if (part == ".") continue;
            if (part == ".." && !nearest.missing.empty() && nearest.missing.back() != "..") {
                nearest.missing.pop_back();
            } else {
                nearest.missing.push_back(part);
            }
        }
        error.clear();
        return nearest;
    }
    return std::nullopt;
}

FileDescriptor makeFolders(int folder, const std::vector<std::string>& components, mode_t mode,
                           std::error_code& error) {
    FileDescriptor current(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
    if (!current) return failed(error, lastError());
    for (const std::string& name : components) {
        if (name.empty() || name == ".") continue;
        if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos) {
            return failed(error, std::make_error_code(std::errc::invalid_argument));
        }
        if (name != ".." && ::mkdirat(current.get(), name.c_str(), mode) != 0 && errno != EEXIST) {
            return failed(error, lastError());
        }
        // O_NOFOLLOW with O_DIRECTORY: a link in the name's place fails.
        FileDescriptor next(::openat(current.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next) return failed(error, lastError());
        current = std::move(next);
    }
    error.clear();
    return current;
}

}  // namespace zentrabo::platform
