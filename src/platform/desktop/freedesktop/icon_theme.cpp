#include "platform/desktop/freedesktop/icon_theme.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "platform/desktop/freedesktop/key_file.hpp"
#include "platform/desktop/freedesktop/svg_image.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/xdg_folders.hpp"
#include "platform/imaging/image_file.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::size_t maximumIconFileBytes = 16 * 1024 * 1024;
// A theme naming more parents than this, or a loop of them, is cut there.
constexpr std::size_t maximumThemes = 16;
constexpr const char* extensions[] = {".png", ".svg"};

std::vector<std::filesystem::path> iconFolders() {
    std::vector<std::filesystem::path> folders;
    if (const char* home = std::getenv("HOME"); home && *home == '/') {
        folders.push_back(std::filesystem::path(home) / ".icons");
    }
    for (const auto& folder : xdgDataSearchPath()) folders.push_back(folder / "icons");
    return folders;
}

std::optional<std::string> userThemeName() {
    const auto settings = KeyFile::read(xdgConfigHome() / "gtk-3.0" / "settings.ini");
    const auto* group = settings ? settings->group("Settings") : nullptr;
    if (!group) return std::nullopt;
    const auto it = group->find("gtk-icon-theme-name");
    if (it == group->end() || it->second.empty()) return std::nullopt;
    return unescapeKeyValue(it->second);
}

// A folder of a theme and the sizes it serves.
struct ThemeFolder {
    std::string path;
    int size = 0, minimum = 0, maximum = 0, threshold = 2;
    std::string type = "Threshold";

    bool serves(int wanted) const {
        if (type == "Fixed") return wanted == size;
        if (type == "Scalable") return minimum <= wanted && wanted <= maximum;
        return size - threshold <= wanted && wanted <= size + threshold;
    }
    int distance(int wanted) const {
        if (type == "Fixed") return std::abs(size - wanted);
        if (type == "Scalable") return wanted < minimum ? minimum - wanted : wanted > maximum ? wanted - maximum : 0;
        if (wanted < size - threshold) return minimum - wanted;
        if (wanted > size + threshold) return wanted - maximum;
        return 0;
    }
};

// A theme's lists ("Directories", "Inherits") are separated by commas.
std::vector<std::string> commaList(const KeyFile::Group& group, const char* key) {
    std::vector<std::string> items;
    const auto it = group.find(key);
    if (it == group.end()) return items;
    const std::string& text = it->second;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = std::min(text.find(',', start), text.size());
        if (end > start) items.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

int integer(const KeyFile::Group& group, const char* key, int fallback) {
    const auto it = group.find(key);
    if (it == group.end()) return fallback;
    try {
        return std::stoi(it->second);
    } catch (const std::exception&) {
        return fallback;
    }
}

struct Theme {
    std::vector<ThemeFolder> folders;
    std::vector<std::string> parents;
};

std::optional<Theme> readTheme(const std::string& name, const std::vector<std::filesystem::path>& bases) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;
    for (const auto& base : bases) {
        const auto file = KeyFile::read(base / name / "index.theme");
        const auto* group = file ? file->group("Icon Theme") : nullptr;
        if (!group) continue;
        Theme theme;
        for (const auto& path : commaList(*group, "Directories")) {
            const auto* folderGroup = file->group(path);
            if (!folderGroup || integer(*folderGroup, "Scale", 1) != 1) continue;
            ThemeFolder folder;
            folder.path = path;
            folder.size = integer(*folderGroup, "Size", 0);
            folder.minimum = integer(*folderGroup, "MinSize", folder.size);
            folder.maximum = integer(*folderGroup, "MaxSize", folder.size);
            folder.threshold = integer(*folderGroup, "Threshold", 2);
            if (const auto type = folderGroup->find("Type"); type != folderGroup->end()) folder.type = type->second;
            if (folder.size > 0) theme.folders.push_back(std::move(folder));
        }
        theme.parents = commaList(*group, "Inherits");
        return theme;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> existingFile(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) return path;
    return std::nullopt;
}

std::optional<std::filesystem::path> findInTheme(const Theme& theme, const std::string& themeName,
                                                 const std::string& icon, int size,
                                                 const std::vector<std::filesystem::path>& bases) {
    for (const auto& folder : theme.folders) {
        if (!folder.serves(size)) continue;
        for (const auto& base : bases) {
            for (const char* extension : extensions) {
                if (auto file = existingFile(base / themeName / folder.path / (icon + extension))) return file;
            }
        }
    }
    std::optional<std::filesystem::path> closest;
    int best = INT_MAX;
    for (const auto& folder : theme.folders) {
        const int distance = folder.distance(size);
        if (distance >= best) continue;
        for (const auto& base : bases) {
            for (const char* extension : extensions) {
                if (auto file = existingFile(base / themeName / folder.path / (icon + extension))) {
                    closest = std::move(file);
                    best = distance;
                    break;
                }
            }
            if (best == distance) break;
        }
    }
    return closest;
}

}  // namespace

std::optional<std::filesystem::path> findIconFile(const std::string& icon, int size) {
    if (icon.empty()) return std::nullopt;
    if (icon[0] == '/') return existingFile(icon);
    if (icon.find('/') != std::string::npos || icon == "." || icon == "..") return std::nullopt;
    const auto bases = iconFolders();
    std::vector<std::string> order;
    if (auto user = userThemeName()) order.push_back(std::move(*user));
    std::set<std::string> visited;
    for (std::size_t i = 0; i < order.size() && visited.size() < maximumThemes; ++i) {
        if (!visited.insert(order[i]).second || order[i] == "hicolor") continue;
        const auto theme = readTheme(order[i], bases);
        if (!theme) continue;
        if (auto file = findInTheme(*theme, order[i], icon, size, bases)) return file;
        order.insert(order.end(), theme->parents.begin(), theme->parents.end());
    }
    if (const auto hicolor = readTheme("hicolor", bases)) {
        if (auto file = findInTheme(*hicolor, "hicolor", icon, size, bases)) return file;
    }
    for (const auto& folder : xdgDataSearchPath()) {
        for (const char* extension : extensions) {
            if (auto file = existingFile(folder / "pixmaps" / (icon + extension))) return file;
        }
    }
    return std::nullopt;
}

std::optional<RgbaImage> loadIconFile(const std::filesystem::path& path, int size) {
    const auto file = readRegularFile(path.string(), maximumIconFileBytes);
    if (file.status != BoundedFileRead::Status::ok) return std::nullopt;
    if (path.extension() == ".svg") return renderSvg(file.bytes, static_cast<std::uint32_t>(size));
    try {
        return decodeImageFile(file.bytes);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<RgbaImage> loadIcon(const std::string& icon, int size) {
    const auto path = findIconFile(icon, size);
    if (!path) return std::nullopt;
    return loadIconFile(*path, size);
}

}  // namespace zentrabo::platform
