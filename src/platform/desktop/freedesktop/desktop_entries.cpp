#include "platform/desktop/freedesktop/desktop_entries.hpp"

#include <algorithm>
#include <memory>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <system_error>
#include <unordered_map>

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
                       std::vector<EntryFile>& files) {
    if (depth > maximumFolderDepth) return;
    std::error_code error;
    std::vector<std::filesystem::directory_entry> items;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        items.push_back(*it);
        if (items.size() > maximumEntryFiles) break;
    }
    std::sort(items.begin(), items.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const auto& item : items) {
        if (files.size() >= maximumEntryFiles) return;
        const auto name = item.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (item.is_directory(error)) {
            collectEntryFiles(item.path(), prefix + name + "-", depth + 1, files);
        } else if (item.path().extension() == ".desktop") {
            files.push_back({prefix + name, item.path()});
        }
    }
}

}  // namespace

std::vector<std::filesystem::path> applicationEntryFolders() {
    std::vector<std::filesystem::path> folders;
    for (const auto& folder : xdgDataSearchPath()) folders.push_back(folder / "applications");
    return folders;
}

std::vector<DesktopEntry> desktopEntries() {
    std::vector<EntryFile> files;
    for (const auto& folder : applicationEntryFolders()) collectEntryFiles(folder, "", 0, files);
    std::set<std::string> seen;
    std::vector<DesktopEntry> entries;
    for (auto& file : files) {
        if (!seen.insert(file.id).second) continue;
        if (auto entry = usableEntry(std::move(file.id), file.path)) entries.push_back(std::move(*entry));
    }
    return entries;
}

std::optional<DesktopEntry> desktopEntryWithID(const std::string& id) {
    for (auto& entry : desktopEntries()) {
        if (entry.id == id) return std::move(entry);
    }
    return std::nullopt;
}

std::optional<DesktopEntry> desktopEntryAt(const std::filesystem::path& path) {
    for (auto& entry : desktopEntries()) {
        if (entry.path == path) return std::move(entry);
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
