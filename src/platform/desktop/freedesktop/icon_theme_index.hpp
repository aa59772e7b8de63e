#pragma once
// An icon theme's index.theme: the theme's folders with the sizes each
// serves, and the themes it inherits from. Any local program can write one,
// so every number in it is taken as it comes, however large or negative.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/desktop/freedesktop/key_file.hpp"

namespace zentrabo::platform {

// A folder of a theme and the sizes it serves.
struct IconThemeFolder {
    std::string path;
    int size = 0, minimum = 0, maximum = 0, threshold = 2;
    std::string type = "Threshold";

    // Whether the folder is made for icons of that size.
    bool serves(int wanted) const;
    // How far the folder's sizes are from that size: 0 when it serves it,
    // never negative.
    std::int64_t distance(int wanted) const;
};

struct IconThemeIndex {
    // The folders of scale 1 with a positive size, in the index's order.
    std::vector<IconThemeFolder> folders;
    std::vector<std::string> parents;
};

// The "Icon Theme" group's Directories and Inherits (comma lists) and each
// folder's group; none without that group.
std::optional<IconThemeIndex> parseIconThemeIndex(const KeyFile& file);

}  // namespace zentrabo::platform
