#include "platform/files/directory_listing.hpp"

#include "platform/files/file_path.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace zentrabo::platform {

namespace {

struct CloseDirectory {
    void operator()(DIR* directory) const { closedir(directory); }
};

}  // namespace

std::error_code listDirectory(int folderDescriptor, const std::string& folderPath, bool includesHiddenFiles,
                              std::vector<DirectoryItem>& items) {
    items.clear();
    // "." of the descriptor is the folder itself, whatever its name leads to
    // now; the listing's own descriptor leaves the given one untouched.
    // O_NONBLOCK: opening never waits on a special file.
    const int descriptor = ::openat(folderDescriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) return {errno, std::generic_category()};
    std::unique_ptr<DIR, CloseDirectory> directory(fdopendir(descriptor));
    if (!directory) {
        const int error = errno;
        ::close(descriptor);
        return {error, std::generic_category()};
    }
    const std::string folder = standardizedPathText(folderPath);
    const std::string prefix = folder == "/" ? std::string() : folder;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory.get());
        if (entry == nullptr) {
            if (errno != 0) return {errno, std::generic_category()};
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!includesHiddenFiles && name[0] == '.') continue;
        DirectoryItem item;
        item.name = name;
        item.path = prefix + "/" + item.name;
        struct stat status {};
        if (::fstatat(dirfd(directory.get()), name, &status, 0) == 0) {
            item.values = fileResourceValues(item.name, status);
        }
        items.push_back(std::move(item));
    }
    return {};
}

}  // namespace zentrabo::platform
