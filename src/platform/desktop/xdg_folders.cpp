#include "platform/desktop/xdg_folders.hpp"

#include <cstdlib>

namespace zentrabo::platform {

namespace {

std::filesystem::path baseFolder(const char* variable, const char* fallbackInHome) {
    if (const char* value = std::getenv(variable); value && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home && home[0] ? home : "/") / fallbackInHome;
}

}  // namespace

std::filesystem::path xdgConfigHome() { return baseFolder("XDG_CONFIG_HOME", ".config"); }

std::filesystem::path xdgDataHome() { return baseFolder("XDG_DATA_HOME", ".local/share"); }

}  // namespace zentrabo::platform
