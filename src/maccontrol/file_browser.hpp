#pragma once
// The file browser's building blocks: turning a path typed on a device into
// the path of an existing item, describing a file (with or without its
// bytes) or one folder entry, naming a folder and its parent. They hold no
// state and are safe on any thread; the server's file-resource request runs
// them on its worker pool.
#include "model/records/file_records.hpp"
#include "platform/files/directory_listing.hpp"
#include "platform/files/resource_values.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zentrabo {

// A path typed on a device as an absolute path: a "file:" URL's own path,
// a path starting with "/" or "~" with the tilde expanded, anything else
// inside the home folder.
std::string fileURL(std::string_view path);

// The second chance for a path that looks absolute but was meant inside the
// home folder ("/Documents/Notes" as ~/Documents/Notes); none for file URLs,
// paths that are not absolute after tilde expansion, "/" alone, and paths
// whose first component is a system root ("/Library/...", "/usr/...").
std::optional<std::string> homeRelativeURL(std::string_view path);

// The existing item a request names; blank means the home folder. Throws
// MacMenuError::Case::fileBrowserPathUnavailable with the first candidate's
// path when nothing exists, and with the item's path when it lies, links
// followed, in the server's own folders (isInsideServerOwnFolders).
std::string resolveFileBrowserURL(const std::optional<std::string>& path);

// As resolveFileBrowserURL, for opening: a blank path throws
// folderPathRequired, a missing item folderPathUnavailable, an item of the
// server's own folders fileBrowserPathUnavailable. A file is accepted as
// well as a folder.
std::string resolveExistingFolderURL(const std::optional<std::string>& path);

// One file with its bytes. Throws fileBrowserFileTooLarge when it holds more
// than HalvardineProtocol::maximumFileResourceByteCount (judged by its size
// before a byte is read, and again while reading, should it grow), and
// fileBrowserReadFailed when it cannot be read or is not a regular file
// (a FIFO, a socket or a device is refused by its kind, never opened).
RemoteFileResource fileResourceWithData(const std::string& url, const platform::FileResourceValues& values);
// One file without its bytes; never fails and has no size limit.
RemoteFileResource fileResourceWithoutData(const std::string& url, const platform::FileResourceValues& values);

// A listed child as an entry; none when its values could not be read.
std::optional<RemoteFileEntry> directoryEntry(const platform::DirectoryItem& item);

// "Home" for the home folder, else the last path component, else the path.
std::string folderDisplayName(const std::string& url);
// The path without its last component; none for the root.
std::optional<std::string> parentPath(const std::string& url);
// The size of the item at url; 0 when it cannot be examined.
std::int64_t fileSize(const std::string& url);

// The device-facing text of a file-system failure on the item at path.
std::string fileErrorDescription(const std::string& path, std::error_code error, bool isFolder);

}  // namespace zentrabo
