#include "platform/files/xdg_folders.hpp"

#include <cstdlib>

#include "platform/files/file_path.hpp"
#include "platform/files/product_identity.hpp"

namespace zentrabo::platform {

namespace {

std::filesystem::path baseFolder(const char* variable, const char* fallbackInHome) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    return std::filesystem::path(homeFolderPath()) / fallbackInHome;
}

}  // namespace

std::filesystem::path xdgConfigHome() { return baseFolder("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path xdgDataHome() { return baseFolder("XDG_DATA_HOME", ".local/share"); }

std::filesystem::path xdgStateHome() { return baseFolder("XDG_STATE_HOME", ".local/state"); }

std::filesystem::path configFolder() { return xdgConfigHome() / productIdentity().folderName; }

std::filesystem::path dataFolder() { return xdgDataHome() / productIdentity().folderName; }

std::filesystem::path stateFolder() { return xdgStateHome() / productIdentity().folderName; }

}  // namespace zentrabo::platform
