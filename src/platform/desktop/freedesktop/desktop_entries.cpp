#include "platform/desktop/freedesktop/desktop_entries.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unordered_map>

#include "platform/desktop/application_identifier.hpp"
#include "platform/desktop/freedesktop/key_file.hpp"
#include "platform/files/program_search.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

constexpr int maximumFolderDepth = 8;
constexpr std::size_t maximumEntryFiles = 10000;
constexpr std::size_t maximumEntryBytes = 64 * 1024;

bool flag(const KeyFile::Group& group, const char* key) {
    const auto it = group.find(key);
    return it != group.end() && it->second == "true";
}

std::vector<std::string> listValue(const KeyFile::Group& group, const char* key) {
    const auto it = group.find(key);
    return it == group.end() ? std::vector<std::string>{} : keyValueList(it->second);
}

// OnlyShowIn and NotShowIn against $XDG_CURRENT_DESKTOP, a colon-separated
// list: the first of its names that either key lists decides.
bool shownInCurrentDesktop(const KeyFile::Group& group) {
    const auto only = listValue(group, "OnlyShowIn");
    const auto not_ = listValue(group, "NotShowIn");
    for (const auto& desktop : colonSeparatedVariable("XDG_CURRENT_DESKTOP")) {
        if (std::find(only.begin(), only.end(), desktop) != only.end()) return true;
        if (std::find(not_.begin(), not_.end(), desktop) != not_.end()) return false;
    }
    return only.empty();
}

// The files' parsed contents, kept while a file keeps its modification time,
// size and inode: a request that looks up many identifiers reads each entry
// once, not once an identifier. What depends on the environment (locale,
// current desktop, TryExec's program) is still worked out at every call.
class EntryFileCache {
public:
    std::shared_ptr<const std::optional<KeyFile>> read(const std::filesystem::path& path) {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) return std::make_shared<const std::optional<KeyFile>>();
        const Stamp stamp{status.st_mtim.tv_sec, status.st_mtim.tv_nsec, status.st_size, status.st_ino};
        {
            std::lock_guard locked(mutex_);
            if (const auto kept = files_.find(path.string()); kept != files_.end() && kept->second.stamp == stamp) {
                return kept->second.contents;
            }
        }
        auto contents = std::make_shared<const std::optional<KeyFile>>(KeyFile::read(path, maximumEntryBytes));
        std::lock_guard locked(mutex_);
        // Bounded: folders that change all the time start it over.
        if (files_.size() >= 2 * maximumEntryFiles) files_.clear();
        files_.insert_or_assign(path.string(), Kept{stamp, contents});
        return contents;
    }

private:
    struct Stamp {
        std::int64_t seconds = 0, nanoseconds = 0, size = 0;
        std::uint64_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    struct Kept {
        Stamp stamp;
        std::shared_ptr<const std::optional<KeyFile>> contents;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, Kept> files_;
};

EntryFileCache& entryFileCache() {
    static EntryFileCache cache;
    return cache;
}

std::optional<DesktopEntry> usableEntry(std::string id, const std::filesystem::path& path) {
    const auto kept = entryFileCache().read(path);
    const auto& file = *kept;
    const auto* group = file ? file->group("Desktop Entry") : nullptr;
    if (!group) return std::nullopt;
    const auto type = group->find("Type");
    if (type == group->end() || type->second != "Application" || flag(*group, "Hidden")) return std::nullopt;
    DesktopEntry entry;
    entry.id = std::move(id);
    entry.path = path;
    const auto name = localizedKeyValue(*group, "Name");
    const auto exec = group->find("Exec");
    if (!name || exec == group->end()) return std::nullopt;
    entry.name = *name;
    entry.exec = unescapeKeyValue(exec->second);
    if (const auto tryExec = group->find("TryExec"); tryExec != group->end()) {
        entry.tryExec = unescapeKeyValue(tryExec->second);
        if (!findProgram(*entry.tryExec)) return std::nullopt;
    }
    entry.icon = localizedKeyValue(*group, "Icon").value_or("");
    if (const auto wmClass = group->find("StartupWMClass"); wmClass != group->end()) {
        entry.startupWMClass = unescapeKeyValue(wmClass->second);
    }
    entry.mimeTypes = listValue(*group, "MimeType");
    entry.categories = listValue(*group, "Categories");
    entry.terminal = flag(*group, "Terminal");
    if (const auto folder = group->find("Path"); folder != group->end()) {
        std::filesystem::path workingDirectory = unescapeKeyValue(folder->second);
        if (workingDirectory.is_absolute()) entry.workingDirectory = std::move(workingDirectory);
    }
    entry.dbusActivatable = flag(*group, "DBusActivatable");
    if (const auto argument = group->find("X-TerminalArgExec"); argument != group->end()) {
        entry.terminalExecArgument = unescapeKeyValue(argument->second);
    }
    entry.listed = !flag(*group, "NoDisplay") && shownInCurrentDesktop(*group);
    return entry;
}

struct EntryFile {
    std::string id;
    std::filesystem::path path;
};

void collectEntryFiles(const std::filesystem::path& folder, const std::string& prefix, int depth,
                       std::vector<EntryFile>& files, std::vector<std::filesystem::path>& folders) {
    if (depth > maximumFolderDepth) return;
    folders.push_back(folder);
    std::error_code error;
    // Names taken once, so that sorting compares plain strings.
    struct Item {
        std::string name;
        std::filesystem::directory_entry entry;
    };
    std::vector<Item> items;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        items.push_back({it->path().filename().string(), *it});
        if (items.size() > maximumEntryFiles) break;
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
    for (const auto& [name, item] : items) {
        if (files.size() >= maximumEntryFiles) return;
        if (name.empty() || name[0] == '.') continue;
        if (item.is_directory(error)) {
            collectEntryFiles(item.path(), prefix + name + "-", depth + 1, files, folders);
        } else if (name.ends_with(".desktop")) {
            files.push_back({prefix + name, item.path()});
        }
    }
}

// The entry files of the last walk, kept while every folder it read (and
// each applications folder that was missing) keeps its modification time: a
// file added, removed or renamed changes its folder's. A folder changed in
// the last two seconds is not trusted, since a change within the file
// system's clock tick would leave the time as it was; the walk is then made
// again. What a file holds is the file cache's, checked at each use.
class EntryFileList {
public:
    std::shared_ptr<const std::vector<EntryFile>> files() {
        const auto roots = applicationEntryFolders();
        {
            std::lock_guard locked(mutex_);
            if (roots == roots_ && !folders_.empty() && stamp(folders_) == stamps_) return files_;
        }
        auto files = std::make_shared<std::vector<EntryFile>>();
        std::vector<std::filesystem::path> folders;
        for (const auto& root : roots) collectEntryFiles(root, "", 0, *files, folders);
        auto stamps = stamp(folders);
        std::lock_guard locked(mutex_);
        const auto settled = std::chrono::system_clock::now() - std::chrono::seconds(2);
        const bool trusted = std::all_of(stamps.begin(), stamps.end(),
                                         [&](const auto& modified) { return !modified || *modified < settled; });
        roots_ = trusted ? roots : std::vector<std::filesystem::path>{};
        folders_ = std::move(folders);
        stamps_ = std::move(stamps);
        files_ = files;
        return files;
    }

private:
    using Modified = std::optional<std::chrono::system_clock::time_point>;

    static std::vector<Modified> stamp(const std::vector<std::filesystem::path>& folders) {
        std::vector<Modified> stamps;
        for (const auto& folder : folders) {
            struct stat status {};
            if (::stat(folder.c_str(), &status) != 0) {
                stamps.emplace_back();
                continue;
            }
            stamps.emplace_back(
                std::chrono::system_clock::time_point(std::chrono::duration_cast<std::chrono::system_clock::duration>(
                    std::chrono::seconds(status.st_mtim.tv_sec) + std::chrono::nanoseconds(status.st_mtim.tv_nsec))));
        }
        return stamps;
    }

    std::mutex mutex_;
    std::vector<std::filesystem::path> roots_, folders_;
    std::vector<Modified> stamps_;
    std::shared_ptr<const std::vector<EntryFile>> files_;
};

// Every entry file in search order, each with its ID.
std::shared_ptr<const std::vector<EntryFile>> entryFiles() {
    static EntryFileList list;
    return list.files();
}

}  // namespace

std::vector<std::filesystem::path> applicationEntryFolders() {
    std::vector<std::filesystem::path> folders;
    for (const auto& folder : xdgDataSearchPath()) folders.push_back(folder / "applications");
    return folders;
}

std::vector<DesktopEntry> desktopEntries() {
    std::set<std::string> seen;
    std::vector<DesktopEntry> entries;
    for (const auto& file : *entryFiles()) {
        if (!seen.insert(file.id).second) continue;
        if (auto entry = usableEntry(file.id, file.path)) entries.push_back(std::move(*entry));
    }
    return entries;
}

// The two look-ups below read only the file that decides, not every entry:
// a request may look up hundreds of identifiers.
std::optional<DesktopEntry> desktopEntryWithID(const std::string& id) {
    for (const auto& file : *entryFiles()) {
        // The first file of an ID decides, usable or not.
        if (identifierAnswers(std::string_view(file.id), id)) return usableEntry(file.id, file.path);
    }
    return std::nullopt;
}

std::optional<DesktopEntry> desktopEntryAt(const std::filesystem::path& path) {
    std::set<std::string> seen;
    for (const auto& file : *entryFiles()) {
        // A file whose ID an earlier file took is no entry of its own.
        if (!seen.insert(file.id).second) continue;
        if (file.path == path) return usableEntry(file.id, file.path);
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
