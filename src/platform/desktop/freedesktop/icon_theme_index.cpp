#include "platform/desktop/freedesktop/icon_theme_index.hpp"

#include <algorithm>
#include <stdexcept>

namespace zentrabo::platform {

namespace {

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

}  // namespace

// Sums and differences in 64 bits: the index's numbers may be anything an
// int holds.
bool IconThemeFolder::serves(int wanted) const {
    const std::int64_t at = wanted;
    if (type == "Fixed") return at == size;
    if (type == "Scalable") return minimum <= at && at <= maximum;
    return std::int64_t{size} - threshold <= at && at <= std::int64_t{size} + threshold;
}

std::int64_t IconThemeFolder::distance(int wanted) const {
    const std::int64_t at = wanted;
    std::int64_t away = 0;
    if (type == "Fixed") {
        away = at - size;
        away = away < 0 ? -away : away;
    } else if (type == "Scalable") {
        away = at < minimum ? minimum - at : at > maximum ? at - maximum : 0;
    } else if (at < std::int64_t{size} - threshold) {
        away = minimum - at;
    } else if (at > std::int64_t{size} + threshold) {
        away = at - maximum;
    }
    // A MinSize or MaxSize on the wrong side of the size must not make a
    // folder look nearer than one that serves the size.
    return std::max<std::int64_t>(away, 0);
}

std::optional<IconThemeIndex> parseIconThemeIndex(const KeyFile& file) {
    const auto* group = file.group("Icon Theme");
    if (!group) return std::nullopt;
    IconThemeIndex index;
    for (const auto& path : commaList(*group, "Directories")) {
        const auto* folderGroup = file.group(path);
        if (!folderGroup || integer(*folderGroup, "Scale", 1) != 1) continue;
        IconThemeFolder folder;
        folder.path = path;
        folder.size = integer(*folderGroup, "Size", 0);
        folder.minimum = integer(*folderGroup, "MinSize", folder.size);
        folder.maximum = integer(*folderGroup, "MaxSize", folder.size);
        folder.threshold = integer(*folderGroup, "Threshold", 2);
        if (const auto type = folderGroup->find("Type"); type != folderGroup->end()) folder.type = type->second;
        if (folder.size > 0) index.folders.push_back(std::move(folder));
    }
    index.parents = commaList(*group, "Inherits");
    return index;
}

}  // namespace zentrabo::platform
