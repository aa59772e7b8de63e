#include "platform/files/xdg_folders.hpp"

#include <algorithm>
#include <cstdlib>

#include "platform/files/file_path.hpp"
#include "platform/files/product_identity.hpp"

namespace zentrabo::platform {

namespace {

std::filesystem::path baseFolder(const char* variable, const char* fallbackInHome) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    return std::filesystem::path(homeFolderPath()) / fallbackInHome;
}

// The variable's absolute folders; the fallback when it is unset or empty.
std::vector<std::filesystem::path> absoluteFolders(const char* variable, std::vector<std::filesystem::path> fallback) {
    const auto parts = colonSeparatedVariable(variable);
    if (parts.empty()) return fallback;
    std::vector<std::filesystem::path> folders;
    for (const auto& part : parts) {
        if (part[0] == '/') folders.emplace_back(part);
    }
    return folders;
}

}  // namespace

std::vector<std::string> colonSeparatedVariable(const char* variable) {
    std::vector<std::string> parts;
    const char* value = std::getenv(variable);
    if (!value) return parts;
    const std::string text(value);
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find(':', start), text.size());
        if (end > start) parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

std::vector<std::filesystem::path> xdgDataDirs() {
    return absoluteFolders("XDG_DATA_DIRS", {"/usr/local/share", "/usr/share"});
}

std::vector<std::filesystem::path> xdgDataSearchPath() {
    auto folders = xdgDataDirs();
    folders.insert(folders.begin(), xdgDataHome());
    return folders;
}

std::vector<std::filesystem::path> xdgConfigDirs() { return absoluteFolders("XDG_CONFIG_DIRS", {"/etc/xdg"}); }

std::filesystem::path xdgConfigHome() { return baseFolder("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path xdgDataHome() { return baseFolder("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path xdgStateHome() { return baseFolder("XDG_STATE_HOME", ".local/state"); }

std::filesystem::path configFolder() { return xdgConfigHome() / productIdentity().folderName; }

std::filesystem::path dataFolder() { return xdgDataHome() / productIdentity().folderName; }

std::filesystem::path stateFolder() { return xdgStateHome() / productIdentity().folderName; }

}  // namespace zentrabo::platform
