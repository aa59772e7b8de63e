#include "platform/desktop/freedesktop/mime_handlers.hpp"

#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>
#include <set>
#include <system_error>

#include "platform/desktop/freedesktop/key_file.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/xdg_folders.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::size_t maximumDatabaseFileBytes = 4 * 1024 * 1024;
constexpr std::size_t maximumListBytes = 1024 * 1024;
// A type's ancestry is short; a longer one is a loop or a hostile file.
constexpr std::size_t maximumTypeAncestry = 32;

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

std::vector<std::string> associations(const KeyFile& file, const char* group, const std::string& mimeType) {
    const auto* values = file.group(group);
    if (!values) return {};
    const auto it = values->find(mimeType);
    return it == values->end() ? std::vector<std::string>{} : keyValueList(it->second);
}

std::optional<DesktopEntry> firstUsable(const std::vector<std::string>& ids, const std::vector<DesktopEntry>& entries) {
    for (const auto& id : ids) {
        const auto it = std::find_if(entries.begin(), entries.end(), [&id](const auto& e) { return e.id == id; });
        if (it != entries.end()) return *it;
    }
    return std::nullopt;
}

// Calls use with each line of the shared MIME database's file of that name
// in every data folder, in search order, but for empty lines and comments.
void forEachDatabaseLine(const char* name, const std::function<void(std::string_view)>& use) {
    for (const auto& folder : xdgDataSearchPath()) {
        const auto file = readRegularFile((folder / "mime" / name).string(), maximumDatabaseFileBytes);
        if (file.status != BoundedFileRead::Status::ok) continue;
        std::string_view text(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size());
        while (!text.empty()) {
            const auto end = text.find('\n');
            const auto line = text.substr(0, end);
            text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
            if (!line.empty() && line.front() != '#') use(line);
        }
    }
}

// The "subtype supertype" lines of the subclasses files.
std::vector<std::pair<std::string, std::string>> subclassLines() {
    std::vector<std::pair<std::string, std::string>> lines;
    forEachDatabaseLine("subclasses", [&lines](std::string_view line) {
        const auto space = line.find(' ');
        if (space != std::string_view::npos) lines.emplace_back(line.substr(0, space), line.substr(space + 1));
    });
    return lines;
}

// The type, then the types it is a kind of, nearest first: the parents the
// subclasses files name, theirs in turn, and "text/plain" for any other
// text type.
std::vector<std::string> typeAndAncestors(const std::string& mimeType) {
    const auto subclasses = subclassLines();
    std::vector<std::string> types{mimeType};
    const auto add = [&types](const std::string& type) {
        if (types.size() < maximumTypeAncestry && std::find(types.begin(), types.end(), type) == types.end()) {
            types.push_back(type);
        }
    };
    for (std::size_t i = 0; i < types.size(); ++i) {
        for (const auto& [subtype, supertype] : subclasses) {
            if (subtype == types[i]) add(supertype);
        }
    }
    if (mimeType.starts_with("text/")) add("text/plain");
    return types;
}

}  // namespace

std::string mimeTypeOfFile(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return "inode/directory";
    const std::string name = path.filename().string();
    std::string best = "application/octet-stream";
    int bestWeight = -1;
    std::size_t bestLength = 0;
    forEachDatabaseLine("globs2", [&](std::string_view line) {
        // weight:type:glob[:flags]
        const auto first = line.find(':');
        const auto second = first == std::string_view::npos ? first : line.find(':', first + 1);
        if (second == std::string_view::npos) return;
        int weight = 0;
        if (std::from_chars(line.data(), line.data() + first, weight).ec != std::errc()) return;
        const auto rest = line.substr(second + 1);
        const auto flagsAt = rest.find(':');
        const std::string glob(rest.substr(0, flagsAt));
        const bool caseSensitive =
            flagsAt != std::string_view::npos && rest.substr(flagsAt + 1).find("cs") != std::string_view::npos;
        if (glob.empty() || weight < bestWeight || (weight == bestWeight && glob.size() <= bestLength)) return;
        if (::fnmatch(glob.c_str(), name.c_str(), caseSensitive ? 0 : FNM_CASEFOLD) != 0) return;
        best = std::string(line.substr(first + 1, second - first - 1));
        bestWeight = weight;
        bestLength = glob.size();
    });
    return best;
}

std::optional<DesktopEntry> defaultHandler(const std::string& mimeType) {
    const auto entries = desktopEntries();
    std::vector<KeyFile> files;
    for (const auto& list : mimeAppsLists()) {
        if (auto file = KeyFile::read(list, maximumListBytes)) files.push_back(std::move(*file));
    }
    // An entry removed for a type stays removed for the types it is a kind of.
    std::set<std::string> removed;
    for (const auto& type : typeAndAncestors(mimeType)) {
        for (const auto& file : files) {
            if (auto handler = firstUsable(associations(file, "Default Applications", type), entries)) return handler;
        }
        for (const auto& file : files) {
            if (auto handler = firstUsable(associations(file, "Added Associations", type), entries)) return handler;
            for (auto& id : associations(file, "Removed Associations", type)) removed.insert(std::move(id));
        }
        for (const auto& entry : entries) {
            if (removed.contains(entry.id)) continue;
            if (std::find(entry.mimeTypes.begin(), entry.mimeTypes.end(), type) != entry.mimeTypes.end()) return entry;
        }
    }
    return std::nullopt;
}

}  // namespace zentrabo::platform
