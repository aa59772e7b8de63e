#include "platform/files/resource_values.hpp"

#include "platform/files/file_path.hpp"

#include <cerrno>

namespace zentrabo::platform {

FileResourceValues fileResourceValues(std::string_view name, const struct stat& status) {
    FileResourceValues values;
    if (S_ISDIR(status.st_mode)) {
        values.kind = FileItemKind::directory;
        values.isDirectory = true;
        values.isPackage = isPackageFolderName(name);
    } else {
        values.kind = S_ISREG(status.st_mode) ? FileItemKind::regularFile : FileItemKind::other;
        values.fileSize = static_cast<std::int64_t>(status.st_size);
    }
    values.contentModificationDate = Date::fromUnixSeconds(static_cast<double>(status.st_mtim.tv_sec) +
                                                           static_cast<double>(status.st_mtim.tv_nsec) / 1e9);
    values.contentType = contentTypeIdentifier(values.kind, name, (status.st_mode & 0111) != 0);
    return values;
}

std::optional<FileResourceValues> fileResourceValues(const std::string& path, std::error_code& error) {
    // A NUL would end the path early and name another item.
    if (path.find('\0') != std::string::npos) {
        error = std::make_error_code(std::errc::invalid_argument);
        return std::nullopt;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        error = std::error_code(errno, std::generic_category());
        return std::nullopt;
    }
    error.clear();
    return fileResourceValues(lastPathComponent(path), status);
}

}  // namespace zentrabo::platform
