#include "platform/desktop/freedesktop/icon_theme.hpp"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <tuple>
#include <vector>

#include "platform/desktop/freedesktop/icon_theme_index.hpp"
#include "platform/desktop/freedesktop/key_file.hpp"
#include "platform/imaging/svg_image.hpp"
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

std::optional<IconThemeIndex> readTheme(const std::string& name, const std::vector<std::filesystem::path>& bases) {
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") return std::nullopt;
    for (const auto& base : bases) {
        const auto file = KeyFile::read(base / name / "index.theme");
        if (!file) continue;
        if (auto theme = parseIconThemeIndex(*file)) return theme;
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> existingFile(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) return path;
    return std::nullopt;
}

std::optional<std::filesystem::path> findInTheme(const IconThemeIndex& theme, const std::string& themeName,
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
    std::int64_t best = INT64_MAX;
    for (const auto& folder : theme.folders) {
        const auto distance = folder.distance(size);
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

// The look-up itself, uncached; the themes it reads are added to `themes`.
std::optional<std::filesystem::path> lookUpIconFile(const std::string& icon, int size,
                                                    const std::vector<std::filesystem::path>& bases,
                                                    const std::optional<std::string>& userTheme,
                                                    std::set<std::string>& themes) {
    std::vector<std::string> order;
    if (userTheme) order.push_back(*userTheme);
    std::set<std::string> visited;
    for (std::size_t i = 0; i < order.size() && visited.size() < maximumThemes; ++i) {
        if (!visited.insert(order[i]).second || order[i] == "hicolor") continue;
        themes.insert(order[i]);
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

// Look-ups by theme, icon and size, found or not, so that asking again for an
// icon no theme has costs a few stats rather than a walk of every theme's
// folders. The answers hold while the folders they came from keep their
// modification times: the settings file naming the theme, each "icons" base
// folder, each theme's folder in each base and the "pixmaps" folders (icon
// installers touch the theme's folder, rewriting its index cache, as the
// icon theme conventions expect; a file dropped deeper by hand without that
// is seen once another change touches one of those folders). Answers found
// while a folder has just changed are not kept.
class IconLookupCache {
public:
    std::optional<std::filesystem::path> find(const std::string& icon, int size) {
        const auto bases = iconFolders();
        const auto userTheme = userThemeName();
        std::lock_guard lock(mutex_);
        const auto stamp = folderStamp(bases);
        if (stamp != stamp_) {
            answers_.clear();
            themes_.clear();
            stamp_ = folderStamp(bases);
        }
        const Key key{userTheme.value_or(""), icon, size};
        if (const auto known = answers_.find(key); known != answers_.end()) return known->second;
        const auto themesBefore = themes_.size();
        auto found = lookUpIconFile(icon, size, bases, userTheme, themes_);
        // Themes first seen in this look-up join the stamp, so the next call
        // notices a change in them.
        if (themes_.size() != themesBefore) stamp_ = folderStamp(bases);
        if (changedLately(stamp_)) return found;
        if (answers_.size() >= maximumAnswers) answers_.clear();
        answers_.emplace(key, found);
        return found;
    }

private:
    using Key = std::tuple<std::string, std::string, int>;
    // Each folder watched with its modification time, zero when it is
    // missing; the paths count too, since the variables naming them may change.
    using Stamp = std::vector<std::tuple<std::string, std::int64_t, std::int64_t>>;
    // Icon names come from local files (entries, content types); a bound
    // keeps a flood of distinct ones from growing the cache without end.
    static constexpr std::size_t maximumAnswers = 4096;

    Stamp folderStamp(const std::vector<std::filesystem::path>& bases) const {
        Stamp stamp;
        const auto add = [&](const std::filesystem::path& path) {
            struct stat status {};
            if (::stat(path.c_str(), &status) == 0) {
                stamp.emplace_back(path.string(), status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
            } else {
                stamp.emplace_back(path.string(), 0, 0);
            }
        };
        add(xdgConfigHome() / "gtk-3.0" / "settings.ini");
        for (const auto& base : bases) {
            add(base);
            for (const auto& theme : themes_) add(base / theme);
            add(base / "hicolor");
        }
        for (const auto& folder : xdgDataSearchPath()) add(folder / "pixmaps");
        return stamp;
    }

    // A folder changed in the last two seconds may change again within the
    // file system's clock tick without its time moving: answers are kept only
    // once every folder has been still for longer.
    static bool changedLately(const Stamp& stamp) {
        const auto settled = std::chrono::system_clock::now() - std::chrono::seconds(2);
        return std::any_of(stamp.begin(), stamp.end(), [&](const auto& folder) {
            const auto modified =
                std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
                    std::chrono::seconds(std::get<1>(folder)) + std::chrono::nanoseconds(std::get<2>(folder))));
            return modified >= settled;
        });
    }

    std::mutex mutex_;
    Stamp stamp_;
    // The themes looked at so far, besides hicolor.
    std::set<std::string> themes_;
    std::map<Key, std::optional<std::filesystem::path>> answers_;
};

}  // namespace

std::optional<std::filesystem::path> findIconFile(const std::string& icon, int size) {
    if (icon.empty()) return std::nullopt;
    if (icon[0] == '/') return existingFile(icon);
    if (icon.find('/') != std::string::npos || icon == "." || icon == "..") return std::nullopt;
    static IconLookupCache cache;
    return cache.find(icon, size);
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
