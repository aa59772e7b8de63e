#pragma once
// The file browser's building blocks: turning a path typed on a device into
// an existing item, opened and judged, describing a file (with or without its
// bytes) or one folder entry, naming a folder and its parent. An item is
// looked up once into a descriptor, judged on that descriptor, and then
// measured, read and listed through it alone, never by its name again, so
// that no link swapped in meanwhile leads anywhere else. They hold no state
// and are safe on any thread; the server's file-resource request runs them
// on its worker pool.
#include "model/records/file_records.hpp"
#include "platform/files/directory_listing.hpp"
#include "platform/files/file_descriptor.hpp"
#include "platform/files/resource_values.hpp"

#include <cstdint>
#include <filesystem>
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

// An existing item a device named, found and judged: the path as the request
// makes it (links not resolved, so that replies name what the device
// named), the descriptor that alone reaches the item from now on, and the
// item's values read through that descriptor.
struct FileBrowserItem {
    std::string url;
    // O_PATH: the item is located, not opened for anything.
    platform::FileDescriptor descriptor;
    platform::FileResourceValues values;
};

// The existing item a request names; blank means the home folder. Each
// candidate path is looked up once (platform::locateItem: links followed,
// no magic link of /proc) and the item found is judged on its descriptor.
// Throws MacMenuError::Case::fileBrowserPathUnavailable with the first
// candidate's path when nothing exists, and with the item's path when it is
// the server's own (isServerOwnItem: in its folders but the desktop's
// browsable one, or one of its files by another name).
FileBrowserItem openFileBrowserItem(const std::optional<std::string>& path,
                                    const std::optional<std::filesystem::path>& browsableDataFolder);

// As openFileBrowserItem, for opening: a blank path throws
// folderPathRequired, a missing item folderPathUnavailable, an item of the
// server's own fileBrowserPathUnavailable. A file is accepted as well as a
// folder. The item is judged on its descriptor; the path then goes to the
// desktop, which is the user's, and tells the device nothing.
std::string resolveExistingFolderURL(const std::optional<std::string>& path,
                                     const std::optional<std::filesystem::path>& browsableDataFolder);

// One file with its bytes, read through the item's descriptor. Throws
// fileBrowserFileTooLarge when it holds more than
// HalvardineProtocol::maximumFileResourceByteCount (judged by its size
// before a byte is read, and again while reading, should it grow), and
// fileBrowserReadFailed when it cannot be read or is not a regular file
// (a FIFO, a socket or a device is refused by its kind, never opened).
RemoteFileResource fileResourceWithData(const FileBrowserItem& item);
// One file without its bytes; never fails and has no size limit.
RemoteFileResource fileResourceWithoutData(const FileBrowserItem& item);

// A listed child as an entry; none when its values could not be read.
std::optional<RemoteFileEntry> directoryEntry(const platform::DirectoryItem& item);

// "Home" for the home folder, else the last path component, else the path.
std::string folderDisplayName(const std::string& url);
// The path without its last component; none for the root.
std::optional<std::string> parentPath(const std::string& url);

// The device-facing text of a file-system failure on the item at path.
std::string fileErrorDescription(const std::string& path, std::error_code error, bool isFolder);

}  // namespace zentrabo
