#include "server/files/file_receive_folder.hpp"

#include "platform/files/file_path.hpp"
#include "platform/files/xdg_user_folders.hpp"
#include "platform/text/trim.hpp"

#include <filesystem>

namespace zentrabo {

std::string fileReceiveFolderURL(platform::UserDefaults& defaults) {
    if (auto stored = defaults.string(fileReceiveFolderPathKey); stored && !platform::isBlank(*stored)) {
        return platform::standardizedPathText(*stored);
    }
    return (platform::downloadFolder() / "Zentrabo").string();
}

std::string fileReceiveFolderDisplayPath(const std::string& folder) {
    const std::string home = platform::homeFolderPath();
    if (folder == home) return "~";
    if (folder.size() > home.size() && folder.compare(0, home.size(), home) == 0 && folder[home.size()] == '/') {
        return "~" + folder.substr(home.size());
    }
    return folder;
}

std::error_code storeChosenFileReceiveFolder(platform::UserDefaults& defaults, std::string_view typedPath) {
    const std::string trimmed = platform::trimWhitespaceAndNewlines(typedPath);
    if (trimmed.empty()) return std::make_error_code(std::errc::invalid_argument);
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(platform::expandingTildeInPath(trimmed), error);
    if (error) absolute = std::filesystem::path(platform::homeFolderPath()) / trimmed;
    return defaults.set(fileReceiveFolderPathKey, platform::standardizedPathText(absolute.lexically_normal().string()));
}

std::error_code resetFileReceiveFolder(platform::UserDefaults& defaults) {
    return defaults.remove(fileReceiveFolderPathKey);
}

}  // namespace zentrabo
