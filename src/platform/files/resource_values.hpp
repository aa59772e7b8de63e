#pragma once
// What the file browser knows of one item, read in one stat call: the five
// values every listing shows.
#include "platform/dispatch/date.hpp"
#include "platform/files/content_type.hpp"

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace zentrabo::platform {

struct FileResourceValues {
    FileItemKind kind = FileItemKind::regularFile;
    bool isDirectory = false;
    // A folder that is shown as one item (an application bundle, say).
    bool isPackage = false;
    // None for a folder.
    std::optional<std::int64_t> fileSize;
    Date contentModificationDate;
    std::string_view contentType;
};

// The values of the item named `name` with these stat results.
FileResourceValues fileResourceValues(std::string_view name, const struct stat& status);

// The values of the item at path, following symbolic links (a link to a
// folder is a folder). Fails with the stat error, or invalid_argument for a
// path holding a NUL character.
std::optional<FileResourceValues> fileResourceValues(const std::string& path, std::error_code& error);

}  // namespace zentrabo::platform
