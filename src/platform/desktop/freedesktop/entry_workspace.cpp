#include "platform/desktop/freedesktop/entry_workspace.hpp"

#include <signal.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/desktop/freedesktop/icon_theme.hpp"
#include "platform/desktop/freedesktop/mime_handlers.hpp"
#include "platform/text/file_url.hpp"
#include "platform/text/url_text.hpp"

namespace zentrabo::platform {

namespace {

const std::string cannotOpenApplication = "The application can’t be opened.";
const std::string noURLHandler = "There is no application set to open the URL.";
const std::string noFileHandler = "There is no application set to open the document.";
const std::string missingFile = "The file doesn’t exist.";

}  // namespace

std::vector<InstalledApplication> EntryWorkspace::installedApplications() {
    std::vector<InstalledApplication> installed;
    for (auto& entry : desktopEntries()) {
        if (entry.listed) installed.push_back({std::move(entry.id), std::move(entry.name), std::move(entry.path)});
    }
    return installed;
}

std::optional<std::filesystem::path> EntryWorkspace::urlForApplication(const std::string& bundleIdentifier) {
    auto entry = desktopEntryWithID(bundleIdentifier);
    if (!entry) return std::nullopt;
    return std::move(entry->path);
}

OpenResult EntryWorkspace::openApplication(const std::filesystem::path& location, bool activates) {
    const auto entry = desktopEntryAt(location);
    if (!entry) return {false, cannotOpenApplication};
    // A running application is asked to come forward instead.
    for (const auto& application : runningApplications()) {
        if (application->bundleIdentifier() != entry->id) continue;
        application->unhide();
        if (activates) application->activate(true);
        return {true, {}};
    }
    const auto launched = launcher_.launch(*entry, {});
    if (!launched.started()) return {false, launched.error};
    return {true, {}};
}

OpenResult EntryWorkspace::openWithHandler(const std::string& mimeType, const LaunchTarget& target) {
    const auto handler = defaultHandler(mimeType);
    if (!handler) return {false, target.isFile ? noFileHandler : noURLHandler};
    const auto launched = launcher_.launch(*handler, {target});
    if (!launched.started()) return {false, launched.error};
    return {true, {}};
}

OpenResult EntryWorkspace::openURL(const std::string& url) {
    const auto parsed = parseURLText(url);
    if (!parsed || !parsed->scheme || parsed->scheme->empty()) return {false, noURLHandler};
    std::string scheme = *parsed->scheme;
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (scheme == "file") {
        const auto path = filePathFromFileURL(url);
        if (!path) return {false, missingFile};
        return openFile(*path);
    }
    return openWithHandler(schemeHandlerType(scheme), {url, false});
}

OpenResult EntryWorkspace::openFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return {false, missingFile};
    // An entry file opens as the application it describes.
    if (path.extension() == ".desktop") {
        if (desktopEntryAt(path)) return openApplication(path, true);
    }
    return openWithHandler(mimeTypeOfFile(path), {path.string(), true});
}

std::optional<RgbaImage> EntryWorkspace::iconForFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return std::nullopt;
    if (path.extension() == ".desktop") {
        if (const auto entry = desktopEntryAt(path)) return loadIcon(entry->icon, iconPixelSize);
    }
    // "text/plain" shows as "text-plain", else as its kind's "text-x-generic".
    std::string type = mimeTypeOfFile(path);
    if (type == "inode/directory") return loadIcon("folder", iconPixelSize);
    std::replace(type.begin(), type.end(), '/', '-');
    if (auto icon = loadIcon(type, iconPixelSize)) return icon;
    return loadIcon(type.substr(0, type.find('-')) + "-x-generic", iconPixelSize);
}

bool EntryWorkspace::forceTerminateProcess(const LinuxProcess& process) {
    if (linuxProcess(process.pid) != process) return false;
    const bool sent = ::kill(process.pid, SIGKILL) == 0;
    launcher_.reap();
    return sent;
}

}  // namespace zentrabo::platform
