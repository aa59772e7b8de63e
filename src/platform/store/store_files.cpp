#include "platform/store/store_files.hpp"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

#include "platform/files/atomic_file.hpp"
#include "platform/files/bounded_file_read.hpp"

namespace zentrabo::platform {
namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

}  // namespace

std::error_code ensurePrivateFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return error;
    if (::chmod(folder.c_str(), 0700) != 0) return lastError();
    return {};
}

std::error_code readStoreFile(const std::filesystem::path& path, std::string& contents) {
    BoundedFileRead read = readRegularFile(path.string(), maximumStoreFileSize);
    std::error_code error;
    switch (read.status) {
    case BoundedFileRead::Status::ok:
        contents.assign(read.bytes.begin(), read.bytes.end());
        break;
    case BoundedFileRead::Status::tooLarge:
        error = std::make_error_code(std::errc::file_too_large);
        break;
    case BoundedFileRead::Status::notRegularFile:
        error = std::make_error_code(std::errc::invalid_argument);
        break;
    case BoundedFileRead::Status::failed:
        error = read.error;
        break;
    }
    // The copy left behind may hold a key store's secrets.
    if (!read.bytes.empty()) ::explicit_bzero(read.bytes.data(), read.bytes.size());
    return error;
}

std::error_code writeStoreFileAtomically(const std::filesystem::path& path, std::string_view contents) {
    if (auto error = ensurePrivateFolder(path.parent_path())) return error;
    // The version replaced keeps no secret under a name someone else made.
    SupersededFile old(path);
    if (auto error = replaceFileAtomically(path, contents, 0600)) return error;
    old.emptyIfStillNamed();
    return {};
}

}  // namespace zentrabo::platform
