#pragma once
// The direct children of a folder with their values, read in one pass.
#include "platform/files/resource_values.hpp"

#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace zentrabo::platform {

struct DirectoryItem {
    std::string name;
    std::string path;
    // None when the item vanished or cannot be examined (a dangling link).
    std::optional<FileResourceValues> values;
};

// Lists the folder's children in the order the file system returns them,
// without "." and "..". Hidden items are those whose name starts with a dot.
// Fails with the error of opening or reading the folder.
std::error_code listDirectory(const std::string& folderPath, bool includesHiddenFiles,
                              std::vector<DirectoryItem>& items);

}  // namespace zentrabo::platform
