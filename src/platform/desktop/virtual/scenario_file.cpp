#include "platform/desktop/virtual/scenario_file.hpp"

#include <system_error>

#include "platform/desktop/virtual/scenario_validation.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

// A scenario is hand-written; one this large is a mistake, not a desktop.
constexpr std::size_t maximumFileSize = 16 * 1024 * 1024;

}  // namespace

DesktopScenario readDesktopScenarioFile(const std::filesystem::path& path) {
    const std::string name = path.string();
    const BoundedFileRead read = readRegularFile(name, maximumFileSize);
    switch (read.status) {
    case BoundedFileRead::Status::ok:
        break;
    case BoundedFileRead::Status::tooLarge:
        throw ScenarioError(name + ": larger than 16 MiB");
    case BoundedFileRead::Status::notRegularFile:
        throw ScenarioError(name + ": not a regular file");
    case BoundedFileRead::Status::failed:
        throw ScenarioError(name + ": cannot be read (" + read.error.message() + ")");
    }
    try {
        return parseDesktopScenario(
            std::string_view(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size()));
    } catch (const ScenarioError& fault) {
        throw ScenarioError(name + ": " + fault.what());
    }
}

std::filesystem::path desktopScenarioPath() { return configFolder() / "virtual-desktop.json"; }

std::optional<std::filesystem::path> desktopScenarioFile() {
    auto path = desktopScenarioPath();
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return std::nullopt;
    return path;
}

DesktopScenario loadDesktopScenario() {
    const auto file = desktopScenarioFile();
    return file ? readDesktopScenarioFile(*file) : defaultDesktopScenario();
}

}  // namespace zentrabo::platform
