#include "maccontrol/server_own_folders.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>
#include <vector>

#include "model/diagnostic_log.hpp"
#include "platform/files/file_path.hpp"
#include "platform/files/item_descriptor.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo {

namespace {

// The folder as the file system resolves it, as far as it exists, so that it
// compares with resolved paths; read afresh at every call, as the folders
// follow HOME and the XDG variables.
std::string resolvedFolder(const std::filesystem::path& folder) {
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(folder, error);
    return platform::standardizedPathText((error ? folder.lexically_normal() : resolved).string());
}

bool isWithin(std::string_view path, std::string_view folder) {
    if (folder == "/") return true;
    return path.starts_with(folder) && (path.size() == folder.size() || path[folder.size()] == '/');
}

// /proc/<n> is this process's entry, or one of its threads', exactly when n
// names one of its tasks.
bool isInsideOwnProcessEntry(std::string_view path) {
    constexpr std::string_view proc = "/proc/";
    if (!path.starts_with(proc)) return false;
    const std::string_view entry = path.substr(proc.size(), path.find('/', proc.size()) - proc.size());
    if (entry == "self" || entry == "thread-self") return true;
    if (entry.empty() || entry.find_first_not_of("0123456789") != std::string_view::npos) return false;
    struct stat status {};
    return ::stat(("/proc/self/task/" + std::string(entry)).c_str(), &status) == 0;
}

std::filesystem::path logFolder() { return std::filesystem::path(diagnosticLogPath()).parent_path(); }

struct CloseDirectory {
    void operator()(DIR* directory) const { closedir(directory); }
};

// The identities of the folder (links followed) and of every item directly
// in it that is not a folder itself (links not followed), added to the list.
void addOwnIdentities(const std::filesystem::path& folder, std::vector<platform::ItemIdentity>& identities) {
    struct stat status {};
    if (::fstatat(AT_FDCWD, folder.c_str(), &status, 0) != 0) return;
    identities.push_back(platform::itemIdentity(status));
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) return;
    const std::unique_ptr<DIR, CloseDirectory> directory(fdopendir(descriptor));
    if (!directory) {
        ::close(descriptor);
        return;
    }
    while (const dirent* entry = readdir(directory.get())) {
        if (::fstatat(dirfd(directory.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(status.st_mode)) {
            identities.push_back(platform::itemIdentity(status));
        }
    }
}

}  // namespace

bool isServerOwnItem(int descriptor, const std::optional<std::filesystem::path>& browsableDataFolder) {
    const auto path = platform::itemPath(descriptor);
    if (!path || isInsideServerOwnFolders(*path, browsableDataFolder)) return true;
    std::error_code error;
    const auto status = platform::itemStatus(descriptor, error);
    if (!status) return true;
    std::vector<platform::ItemIdentity> own;
    for (const auto& folder : {platform::dataFolder(), platform::configFolder(), logFolder()}) {
        addOwnIdentities(folder, own);
    }
    return std::find(own.begin(), own.end(), platform::itemIdentity(*status)) != own.end();
}

bool isInsideServerOwnFolders(const std::string& resolvedPath,
                              const std::optional<std::filesystem::path>& browsableDataFolder) {
    if (isInsideOwnProcessEntry(resolvedPath) || isWithin(resolvedPath, resolvedFolder(platform::configFolder())) ||
        isWithin(resolvedPath, resolvedFolder(logFolder()))) {
        return true;
    }
    const std::string data = resolvedFolder(platform::dataFolder());
    if (!isWithin(resolvedPath, data)) return false;
    if (!browsableDataFolder) return true;
    // A browsable folder that resolves to the data folder itself opens
    // nothing.
    const std::string browsable = resolvedFolder(*browsableDataFolder);
    return browsable == data || !isWithin(resolvedPath, browsable);
}

}  // namespace zentrabo
