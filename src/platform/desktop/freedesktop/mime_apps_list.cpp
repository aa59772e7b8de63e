#include "platform/desktop/freedesktop/mime_apps_list.hpp"

#include <algorithm>
#include <set>

namespace zentrabo::platform {

namespace {

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

}  // namespace

std::optional<DesktopEntry> chooseHandler(const std::vector<KeyFile>& lists, const std::vector<DesktopEntry>& entries,
                                          const std::vector<std::string>& types) {
    std::set<std::string> removed;
    for (const auto& type : types) {
        for (const auto& file : lists) {
            if (auto handler = firstUsable(associations(file, "Default Applications", type), entries)) return handler;
        }
        for (const auto& file : lists) {
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
