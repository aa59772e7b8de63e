// The workspace of the virtual desktop: application folders, launching,
// reopening, and opening URLs and files.
#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/desktop/application_bundle.hpp"
#include "platform/desktop/virtual/bundle_materializer.hpp"
#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

namespace {

constexpr std::uint32_t iconPixelSize = 128;
constexpr std::uint32_t documentIconColor = 0xD9D9D9FF;
constexpr std::uint32_t folderIconColor = 0x5AA9E6FF;

bool hasScheme(const std::string& url) {
    const auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    if (!std::isalpha(static_cast<unsigned char>(url[0]))) return false;
    return std::all_of(url.begin(), url.begin() + static_cast<std::ptrdiff_t>(colon), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

}  // namespace

std::vector<std::filesystem::path> VirtualDesktop::applicationFolders() { return virtualApplicationFolders(); }

std::optional<std::filesystem::path> VirtualDesktop::browsableDataFolder() { return virtualDesktopFolder(); }

std::vector<InstalledApplication> VirtualDesktop::installedApplications() {
    std::vector<InstalledApplication> installed;
    for (const auto& url : findApplicationBundles(applicationFolders())) {
        const auto bundle = ApplicationBundle::open(url);
        auto identifier = bundle ? bundle->bundleIdentifier() : std::nullopt;
        if (!identifier) continue;
        installed.push_back({std::move(*identifier), bundle->displayName(), url});
    }
    return installed;
}

std::optional<std::filesystem::path> VirtualDesktop::urlForApplication(const std::string& bundleIdentifier) {
    for (auto& installed : installedApplications()) {
        if (installed.identifier == bundleIdentifier) return std::move(installed.location);
    }
    return std::nullopt;
}

OpenResult VirtualDesktop::openApplication(const std::filesystem::path& path, bool activates) {
    const auto bundle = ApplicationBundle::open(path);
    const auto identifier = bundle ? bundle->bundleIdentifier() : std::nullopt;
    if (!identifier) return {false, "The application can’t be opened."};
    auto lock = settle();
    if (auto* running = applicationLocked(*identifier)) {
        // A reopen: the application comes forward and shows a window.
        recordLocked("reopen", *identifier);
        running->hidden = false;
        const bool showsWindow = std::any_of(running->windows.begin(), running->windows.end(),
                                             [this](WindowID w) { return !windows_.at(w).minimized; });
        if (!showsWindow) {
            if (!running->windows.empty()) {
                windows_.at(running->windows.front()).minimized = false;
            } else {
                runEffectLocked(running->pid, 0, opensWindow(running->spec.name));
            }
        }
        if (activates) activateLocked(*running, true);
        return {true, {}};
    }
    ScenarioApplication spec;
    if (const auto* entry = catalogEntryLocked(*identifier)) {
        spec = *entry;
    } else {
        // A bundle the scenario does not know runs with a bare window.
        const auto* name = bundle->infoValue("CFBundleName");
        spec.name = name && name->string() ? *name->string() : path.stem().string();
        spec.bundleIdentifier = *identifier;
        ScenarioWindow window;
        window.title = spec.name;
        window.frame = {80, 60, 640, 480};
        spec.windows.push_back(std::move(window));
    }
    return requestLaunchLocked(spec, path, activates);
}

OpenResult VirtualDesktop::openURL(const std::string& url) {
    if (!hasScheme(url)) return {false, "The URL is not valid."};
    auto lock = settle();
    recordLocked("openURL", url);
    return {true, {}};
}

OpenResult VirtualDesktop::openFile(const std::filesystem::path& path) {
    std::error_code error;
    const bool isFolder = std::filesystem::is_directory(path, error);
    if (!std::filesystem::exists(path, error)) return {false, "The file doesn’t exist."};
    if (isFolder && path.extension() == ".app") return openApplication(path, true);
    auto lock = settle();
    recordLocked("openFile", path.string());
    return {true, {}};
}

std::optional<RgbaImage> VirtualDesktop::iconForFile(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return std::nullopt;
    if (path.extension() == ".app") {
        const auto bundle = ApplicationBundle::open(path);
        const auto identifier = bundle ? bundle->bundleIdentifier() : std::nullopt;
        auto lock = settle();
        if (const auto* entry = identifier ? catalogEntryLocked(*identifier) : nullptr)
            return applicationIconLocked(*entry);
    }
    const bool isFolder = std::filesystem::is_directory(path, error);
    return RgbaImage(iconPixelSize, iconPixelSize, isFolder ? folderIconColor : documentIconColor);
}

std::optional<RgbaImage> VirtualDesktop::applicationIcon(ProcessID pid) {
    auto lock = settle();
    const auto* application = applicationLocked(pid);
    if (!application) return std::nullopt;
    return applicationIconLocked(application->spec);
}

RgbaImage VirtualDesktop::applicationIconLocked(const ScenarioApplication& spec) const {
    const auto picture = iconPictures_.find(spec.bundleIdentifier);
    if (picture != iconPictures_.end()) return *picture->second;
    return RgbaImage(iconPixelSize, iconPixelSize, spec.iconColor);
}

}  // namespace zentrabo::platform
