#include "platform/desktop/virtual/scenario_file.hpp"

#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

// A scenario is hand-written; one this large is a mistake, not a desktop.
constexpr std::uintmax_t maximumFileSize = 16 * 1024 * 1024;

}  // namespace

DesktopScenario readDesktopScenarioFile(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error) throw ScenarioError(name + ": cannot be read (" + error.message() + ")");
    if (size > maximumFileSize) throw ScenarioError(name + ": larger than 16 MiB");
    std::ifstream file(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) throw ScenarioError(name + ": cannot be read");
    try {
        return parseDesktopScenario(text);
    } catch (const ScenarioError& fault) {
        throw ScenarioError(name + ": " + fault.what());
    }
}

std::filesystem::path desktopScenarioPath() { return xdgConfigHome() / "zentrabo" / "virtual-desktop.json"; }

DesktopScenario loadDesktopScenario() {
    const auto path = desktopScenarioPath();
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return defaultDesktopScenario();
    return readDesktopScenarioFile(path);
}

}  // namespace zentrabo::platform
