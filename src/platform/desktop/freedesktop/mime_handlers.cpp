#include "platform/desktop/freedesktop/mime_handlers.hpp"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/desktop/freedesktop/key_file.hpp"
#include "platform/desktop/freedesktop/mime_apps_list.hpp"
#include "platform/desktop/freedesktop/mime_database.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::size_t maximumDatabaseFileBytes = 4 * 1024 * 1024;
constexpr std::size_t maximumListBytes = 1024 * 1024;

// The lowercased names of $XDG_CURRENT_DESKTOP.
std::vector<std::string> currentDesktops() {
    auto names = colonSeparatedVariable("XDG_CURRENT_DESKTOP");
    for (auto& name : names) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    }
    return names;
}

std::vector<std::filesystem::path> mimeAppsLists() {
    std::vector<std::filesystem::path> folders{xdgConfigHome()};
    for (auto& folder : xdgConfigDirs()) folders.push_back(std::move(folder));
    for (const auto& folder : xdgDataSearchPath()) folders.push_back(folder / "applications");
    const auto desktops = currentDesktops();
    std::vector<std::filesystem::path> lists;
    for (const auto& folder : folders) {
        for (const auto& desktop : desktops) lists.push_back(folder / (desktop + "-mimeapps.list"));
        lists.push_back(folder / "mimeapps.list");
    }
    return lists;
}

// The text of the shared MIME database's file of that name in each data
// folder, in search order.
std::vector<std::string> databaseTexts(const char* name) {
    std::vector<std::string> texts;
    for (const auto& folder : xdgDataSearchPath()) {
        const auto file = readRegularFile((folder / "mime" / name).string(), maximumDatabaseFileBytes);
        if (file.status == BoundedFileRead::Status::ok) texts.emplace_back(file.bytes.begin(), file.bytes.end());
    }
    return texts;
}

}  // namespace

std::string mimeTypeOfFile(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return "inode/directory";
    const std::string name = path.filename().string();
    GlobChoice choice;
    for (const auto& text : databaseTexts("globs2")) chooseGlob(text, name, choice);
    return choice.type;
}

std::optional<DesktopEntry> defaultHandler(const std::string& mimeType) {
    std::vector<KeyFile> lists;
    for (const auto& list : mimeAppsLists()) {
        if (auto file = KeyFile::read(list, maximumListBytes)) lists.push_back(std::move(*file));
    }
    std::vector<std::pair<std::string, std::string>> subclasses;
    for (const auto& text : databaseTexts("subclasses")) {
        for (auto& pair : subclassPairs(text)) subclasses.push_back(std::move(pair));
    }
    return chooseHandler(lists, desktopEntries(), typeAndAncestors(mimeType, subclasses));
}

}  // namespace zentrabo::platform
