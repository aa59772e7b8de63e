#include "platform/files/xdg_user_folders.hpp"

#include <string>

#include "platform/files/bounded_file_read.hpp"
#include "platform/files/file_path.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {
namespace {

// The file holds a dozen short lines; anything larger is not that file.
constexpr std::size_t maximumUserDirsFileSize = 64 * 1024;

// The value of one `NAME="value"` line with "$HOME" expanded; none for a
// value that is neither absolute nor under $HOME, or one quoted in a way
// the file's own format does not use.
std::optional<std::filesystem::path> folderOfValue(std::string_view value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
    value = value.substr(1, value.size() - 2);
    std::string path;
    for (std::size_t index = 0; index < value.size(); ++index) {
        if (value[index] == '\\' && index + 1 < value.size()) {
            path += value[++index];
        } else if (value[index] == '"') {
            return std::nullopt;
        } else {
            path += value[index];
        }
    }
    constexpr std::string_view home = "$HOME";
    if (path.starts_with(home) && (path.size() == home.size() || path[home.size()] == '/')) {
        path = homeFolderPath() + path.substr(home.size());
    } else if (!path.starts_with('/')) {
        return std::nullopt;
    }
    auto folder = std::filesystem::path(path).lexically_normal();
    // "/srv/inbox/" names the folder "/srv/inbox".
    if (!folder.has_filename() && folder != folder.root_path()) folder = folder.parent_path();
    return folder;
}

}  // namespace

std::optional<std::filesystem::path> xdgUserFolder(std::string_view variable) {
    const auto read = readRegularFile((xdgConfigHome() / "user-dirs.dirs").string(), maximumUserDirsFileSize);
    if (read.status != BoundedFileRead::Status::ok) return std::nullopt;
    const std::string_view text(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size());
    std::optional<std::filesystem::path> found;
    std::size_t start = 0;
    while (start < text.size()) {
        auto end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
            line.remove_suffix(1);
        }
        if (!line.starts_with(variable) || line.substr(variable.size(), 1) != "=") continue;
        found = folderOfValue(line.substr(variable.size() + 1));
    }
    return found;
}

std::filesystem::path downloadFolder() {
    if (auto folder = xdgUserFolder("XDG_DOWNLOAD_DIR")) return *folder;
    return std::filesystem::path(homeFolderPath()) / "Downloads";
}

}  // namespace zentrabo::platform
