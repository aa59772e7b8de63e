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

// Lists the children of the descriptor's folder (an O_PATH descriptor will
// do) in the order the file system returns them, without "." and "..",
// reading through a descriptor of its own opened as "." relative to it,
// never by the folder's name; folderPath only makes the items' paths.
// Hidden items are those whose name starts with a dot. Fails with the error
// of opening or reading the folder.
std::error_code listDirectory(int folderDescriptor, const std::string& folderPath, bool includesHiddenFiles,
                              std::vector<DirectoryItem>& items);

}  // namespace zentrabo::platform
