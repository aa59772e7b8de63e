#pragma once
// Finding nodes of a menu snapshot by their path of titles.
#include <string>
#include <vector>

#include "model/records/menu_records.hpp"

namespace zentrabo::testing {

inline std::vector<std::string> titles(const std::vector<MenuNode>& nodes) {
    std::vector<std::string> result;
    for (const auto& node : nodes) result.push_back(node.title);
    return result;
}

// The titled node whose path of titles is the path; none when there is
// none. Searches the whole tree, so it finds items below untitled menus too.
inline const MenuNode* nodeAt(const std::vector<MenuNode>& nodes, const std::vector<std::string>& path) {
    for (const auto& node : nodes) {
        if (!node.title.empty() && node.path == path) return &node;
        if (const auto* found = nodeAt(node.children, path)) return found;
    }
    return nullptr;
}
inline const MenuNode* nodeAt(const MenuSnapshot& snapshot, const std::vector<std::string>& path) {
    return nodeAt(snapshot.items, path);
}

}  // namespace zentrabo::testing
