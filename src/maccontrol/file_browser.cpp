#include "maccontrol/file_browser.hpp"

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "maccontrol/server_own_folders.hpp"
#include "model/halvardine_protocol.hpp"
#include "platform/files/bounded_file_read.hpp"
#include "platform/files/file_path.hpp"
#include "platform/files/item_descriptor.hpp"
#include "platform/text/file_url.hpp"
#include "platform/text/trim.hpp"

#include <fcntl.h>

#include <array>
#include <cerrno>
#include <filesystem>

namespace zentrabo {

using Case = MacMenuError::Case;

namespace {

// First components that always mean the real root, never a folder in home.
constexpr std::array<std::string_view, 14> systemRoots = {
    "users", "volumes", "applications", "system",  "library", "bin", "sbin",
    "usr",   "etc",     "var",          "private", "tmp",     "dev", "opt",
};

std::string asciiLowercased(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// The path with "." and ".." resolved by text, as a standardized URL is.
std::string lexicallyStandardized(const std::string& path) {
    return platform::standardizedPathText(std::filesystem::path(path).lexically_normal().string());
}

std::string blankMeansHome(const std::optional<std::string>& path) {
    std::string trimmed = path ? platform::trimWhitespaceAndNewlines(*path) : std::string();
    return trimmed.empty() ? platform::homeFolderPath() : trimmed;
}

// The item a candidate path names, looked up once; none when there is none.
std::optional<FileBrowserItem> locatedItem(const std::string& url) {
    std::error_code error;
    platform::FileDescriptor descriptor = platform::locateItem(url, error);
    if (!descriptor) return std::nullopt;
    const auto status = platform::itemStatus(descriptor.get(), error);
    if (!status) return std::nullopt;
    return FileBrowserItem{url, std::move(descriptor),
                           platform::fileResourceValues(platform::lastPathComponent(url), *status)};
}

// The existing item for a non-blank typed path, or none; first is the path of
// the first candidate, which the caller names when nothing exists.
std::optional<FileBrowserItem> existingItem(const std::string& typed, std::string& first) {
    first = fileURL(typed);
    if (auto item = locatedItem(first)) return item;
    if (auto second = homeRelativeURL(typed)) return locatedItem(*second);
    return std::nullopt;
}

// Refuses an item of the server's own, judged on the descriptor it will be
// used through: where it really is, so that no link, ".." or /proc detour
// reaches the own folders, and which file it is, so that no hard link
// reaches an own file. An item whose place cannot be told is refused as
// well. The refusal reads as for a missing item and names the path as the
// device gave it, not where a link leads.
void refuseServerOwnItem(const FileBrowserItem& item, const std::optional<std::filesystem::path>& browsableDataFolder) {
    if (isServerOwnItem(item.descriptor.get(), browsableDataFolder))
        throw MacMenuError(Case::fileBrowserPathUnavailable, item.url);
}

MacMenuError notRegularFile(const std::string& url) {
    return MacMenuError(Case::fileBrowserReadFailed, "The file “" + platform::lastPathComponent(url) +
                                                         "” couldn’t be opened because it isn’t a regular file.");
}

RemoteFileResource fileResource(const std::string& url, const platform::FileResourceValues& values, std::int64_t size) {
    RemoteFileResource resource;
    resource.kind = RemoteFileResourceKind::file;
    resource.name = platform::lastPathComponent(url);
    resource.path = url;
    resource.parentPath = parentPath(url);
    if (!values.contentType.empty()) resource.contentType = std::string(values.contentType);
    resource.size = size;
    resource.modificationDate = platform::Date{values.contentModificationDate};
    return resource;
}

}  // namespace

std::string fileURL(std::string_view path) {
    if (auto filePath = platform::filePathFromFileURL(path)) return platform::standardizedPathText(*filePath);
    if (!path.empty() && (path.front() == '/' || path.front() == '~')) {
        std::string expanded = platform::expandingTildeInPath(path);
        // "~someone" of an unknown user stays relative: it is a name in home.
        if (!expanded.empty() && expanded.front() == '/') return platform::standardizedPathText(expanded);
    }
    return platform::appendingPathComponent(platform::homeFolderPath(), path);
}

std::optional<std::string> homeRelativeURL(std::string_view path) {
    if (platform::filePathFromFileURL(path)) return std::nullopt;
    const std::string expanded = platform::expandingTildeInPath(path);
    if (expanded.empty() || expanded.front() != '/') return std::nullopt;
    const std::size_t first = path.find_first_not_of('/');
    if (first == std::string_view::npos) return std::nullopt;
    const std::string_view trimmed = path.substr(first, path.find_last_not_of('/') - first + 1);
    const std::string firstComponent = asciiLowercased(trimmed.substr(0, trimmed.find('/')));
    for (std::string_view root : systemRoots) {
        if (firstComponent == root) return std::nullopt;
    }
    return platform::appendingPathComponent(platform::homeFolderPath(), trimmed);
}

FileBrowserItem openFileBrowserItem(const std::optional<std::string>& path,
                                    const std::optional<std::filesystem::path>& browsableDataFolder) {
    std::string first;
    if (auto item = existingItem(blankMeansHome(path), first)) {
        refuseServerOwnItem(*item, browsableDataFolder);
        return std::move(*item);
    }
    throw MacMenuError(Case::fileBrowserPathUnavailable, first);
}

std::string resolveExistingFolderURL(const std::optional<std::string>& path,
                                     const std::optional<std::filesystem::path>& browsableDataFolder) {
    const std::string trimmed = path ? platform::trimWhitespaceAndNewlines(*path) : std::string();
    if (trimmed.empty()) throw MacMenuError(Case::folderPathRequired);
    std::string first;
    if (auto item = existingItem(trimmed, first)) {
        refuseServerOwnItem(*item, browsableDataFolder);
        return item->url;
    }
    throw MacMenuError(Case::folderPathUnavailable, first);
}

void DesktopController::openFolder(const std::optional<std::string>& path) {
    const std::string url = resolveExistingFolderURL(path, desktop_.browsableDataFolder());
    if (!desktop_.workspace().openFile(url).ok) throw MacMenuError(Case::actionFailed);
}

RemoteFileResource fileResourceWithData(const FileBrowserItem& item) {
    constexpr std::int64_t limit = HalvardineProtocol::maximumFileResourceByteCount;
    const std::int64_t size = item.values.fileSize.value_or(0);
    if (size > limit) throw MacMenuError(Case::fileBrowserFileTooLarge, size);
    // Never opened: opening a device can act on it (a serial line resets
    // what hangs on it, a watchdog starts counting) even when nothing is
    // read. The read checks the opened item again.
    if (item.values.kind != platform::FileItemKind::regularFile) throw notRegularFile(item.url);

    // The located item itself, opened for reading: not its name again.
    std::error_code error;
    const platform::FileDescriptor file = platform::reopenItem(item.descriptor.get(), O_RDONLY | O_NONBLOCK, error);
    if (!file) throw MacMenuError(Case::fileBrowserReadFailed, fileErrorDescription(item.url, error, false));
    platform::BoundedFileRead read = platform::readRegularFile(file.get(), static_cast<std::size_t>(limit));
    switch (read.status) {
    case platform::BoundedFileRead::Status::ok:
        break;
    case platform::BoundedFileRead::Status::tooLarge:
        throw MacMenuError(Case::fileBrowserFileTooLarge, read.size);
    case platform::BoundedFileRead::Status::notRegularFile:
        throw notRegularFile(item.url);
    case platform::BoundedFileRead::Status::failed:
        throw MacMenuError(Case::fileBrowserReadFailed, fileErrorDescription(item.url, read.error, false));
    }
    RemoteFileResource resource = fileResource(item.url, item.values, read.size);
    resource.data = std::move(read.bytes);
    return resource;
}

RemoteFileResource fileResourceWithoutData(const FileBrowserItem& item) {
    return fileResource(item.url, item.values, item.values.fileSize.value_or(0));
}

std::optional<RemoteFileEntry> directoryEntry(const platform::DirectoryItem& item) {
    if (!item.values) return std::nullopt;
    const platform::FileResourceValues& values = *item.values;
    RemoteFileEntry entry;
    entry.name = item.name;
    entry.path = item.path;
    entry.isDirectory = values.isDirectory;
    entry.isPackage = values.isPackage;
    if (!values.contentType.empty()) entry.contentType = std::string(values.contentType);
    if (!values.isDirectory) entry.size = values.fileSize;
    entry.modificationDate = platform::Date{values.contentModificationDate};
    return entry;
}

std::string folderDisplayName(const std::string& url) {
    if (lexicallyStandardized(url) == lexicallyStandardized(platform::homeFolderPath())) return "Home";
    std::string last = platform::lastPathComponent(url);
    return last.empty() ? url : last;
}

std::optional<std::string> parentPath(const std::string& url) {
    std::string parent = platform::deletingLastPathComponent(url);
    if (parent == platform::standardizedPathText(url)) return std::nullopt;
    return parent;
}

std::string fileErrorDescription(const std::string& path, std::error_code error, bool isFolder) {
    std::string text = std::string(isFolder ? "The folder “" : "The file “") + platform::lastPathComponent(path) +
                       "” couldn’t be opened";
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
        return text + " because you don’t have permission to view it.";
    }
    if (error == std::errc::no_such_file_or_directory) return text + " because there is no such file.";
    return error ? text + ": " + error.message() + "." : text + ".";
}

}  // namespace zentrabo
