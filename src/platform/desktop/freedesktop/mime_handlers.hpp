#pragma once
// Which application opens what, by the freedesktop MIME conventions: a
// file's MIME type from the shared MIME database's globs, and a type's
// default handler from the mimeapps.list files and the entries' MimeType.
#include <filesystem>
#include <optional>
#include <string>

#include "platform/desktop/freedesktop/desktop_entries.hpp"

namespace zentrabo::platform {

// "inode/directory" for a folder; else the type of the file name's best
// glob in the "mime/globs2" files of $XDG_DATA_HOME and $XDG_DATA_DIRS (the
// highest weight, then the longest pattern; case-insensitive unless the glob
// says "cs"); else "application/octet-stream".
std::string mimeTypeOfFile(const std::filesystem::path& path);

// The MIME type that stands for a URL scheme's handler.
inline std::string schemeHandlerType(const std::string& scheme) { return "x-scheme-handler/" + scheme; }

// The default handler of the type: the first usable entry that a "Default
// Applications" list names, the mimeapps.list files taken in their order
// ($XDG_CONFIG_HOME, $XDG_CONFIG_DIRS, then the applications folders of
// $XDG_DATA_HOME and $XDG_DATA_DIRS, each "<desktop>-mimeapps.list" before
// "mimeapps.list"); else the first of their "Added Associations"; else the
// first entry whose MimeType lists the type and that no "Removed
// Associations" list names. When nothing handles the type, the same for the
// types it is a kind of, nearest first: the parents that the "mime/subclasses"
// files of the data folders name, and "text/plain" for any text type (so a
// handler of text/plain opens C source). None when nothing handles any.
std::optional<DesktopEntry> defaultHandler(const std::string& mimeType);

}  // namespace zentrabo::platform
