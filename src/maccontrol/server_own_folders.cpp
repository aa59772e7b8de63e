#include "maccontrol/server_own_folders.hpp"

#include <sys/stat.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "model/diagnostic_log.hpp"
#include "platform/desktop/virtual/bundle_materializer.hpp"
#include "platform/files/file_path.hpp"
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

}  // namespace

bool isInsideServerOwnFolders(const std::string& resolvedPath) {
    if (isInsideOwnProcessEntry(resolvedPath) || isWithin(resolvedPath, resolvedFolder(platform::configFolder())) ||
        isWithin(resolvedPath, resolvedFolder(std::filesystem::path(diagnosticLogPath()).parent_path()))) {
        return true;
    }
    const std::string data = resolvedFolder(platform::dataFolder());
    if (!isWithin(resolvedPath, data)) return false;
    // A virtual desktop folder that resolves to the data folder itself opens
    // nothing.
    const std::string desktop = resolvedFolder(platform::virtualDesktopFolder());
    return desktop == data || !isWithin(resolvedPath, desktop);
}

}  // namespace zentrabo
