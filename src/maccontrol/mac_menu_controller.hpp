#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/records/application_records.hpp"
#include "model/records/menu_records.hpp"
#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/application_bundle.hpp"
#include "platform/desktop/desktop.hpp"

namespace zentrabo {

// The one object through which the server acts on the desktop: menus,
// workflows, input, applications, windows, displays and files. It has no
// queue or lock of its own; each owner (the server, the stream server) has
// its own instance and calls it from the threads it documents.
class MacMenuController final {
public:
    struct CachedApplicationIcon {
        std::string sourceKey;
        RemoteApplicationIcon icon;
    };

    // The desktop must outlive the controller.
    explicit MacMenuController(platform::Desktop& desktop) : desktop_(desktop) {}
    MacMenuController(const MacMenuController&) = delete;
    MacMenuController& operator=(const MacMenuController&) = delete;

    // Icon sizes and limits.
    const std::int64_t applicationIconPixelSize = 96;
    const std::int64_t applicationIconRenderPixelSize = 512;
    const std::int64_t applicationIconProcessingVersion = 3;
    const std::int64_t maximumApplicationIconPNGByteCount = 393216;
    // Wallpaper limits.
    const std::int64_t displayWallpaperMaximumPixelDimension = 2400;
    const double displayWallpaperJPEGQuality = 0.82;

    // Icons by bundle identifier; the only state that changes after creation.
    std::unordered_map<std::string, CachedApplicationIcon> applicationIconCache;

    platform::Desktop& desktop() { return desktop_; }

    // Target application and accessibility access (target_application.cpp).
    // Every element gets this timeout before it is read, so an application
    // that does not answer holds the caller at most this long per call.
    static constexpr double accessibilityMessagingTimeout = 1.0;
    // Throws accessibilityMissing unless the process may use the
    // accessibility interface; never asks the user.
    void requireAccessibilityTrust();
    // The running application with the bundle identifier, else the frontmost
    // one; throws noFrontmostApplication when there is none.
    std::shared_ptr<platform::RunningApplication> targetApplication(
        const std::optional<std::string>& bundleIdentifier);
    // The application's element, with the messaging timeout set.
    platform::AXElement applicationElement(const platform::RunningApplication& application);
    // Throws applicationNotRunning, applicationUnresponsive or menuUnavailable.
    platform::AXElement menuBarElement(const platform::RunningApplication& application);
    // Readers: a failed read, a missing value and a value of another type
    // are all none (or no elements). All but integerAttribute set the
    // messaging timeout first.
    std::vector<platform::AXElement> childElements(const platform::AXElement& element);
    std::optional<std::string> stringAttribute(const std::string& name, const platform::AXElement& element);
    std::optional<bool> flagAttribute(const std::string& name, const platform::AXElement& element);
    std::optional<std::int64_t> integerAttribute(const std::string& name, const platform::AXElement& element);

    // Running and installed applications (application_lists.cpp).
    std::vector<RemoteApplicationInfo> applications();
    std::vector<std::filesystem::path> installedApplicationURLs();
    static std::string displayName(const std::filesystem::path& url, const platform::ApplicationBundle& bundle);
    static HalvardineApplication snapshotApplication(const platform::RunningApplication& application);

    // The menu snapshot (menu_snapshot.cpp).
    MenuSnapshot menuSnapshot(const std::optional<std::string>& bundleIdentifier);
    // The element whose children are the item's submenu items, if any.
    std::optional<platform::AXElement> submenuElement(const platform::AXElement& element);
    // "cmd+shift+S" and the like; none for an item without a shortcut.
    std::optional<std::string> shortcutText(const platform::AXElement& element);

    // Opens the file or folder the path names with its default application,
    // resolved as resolveExistingFolderURL does (file_browser.cpp); throws
    // folderPathRequired, folderPathUnavailable, or actionFailed when the
    // workspace refuses.
    void openFolder(const std::optional<std::string>& path);

private:
    // One node at depth (1 for the menu bar's items) and its subtree; none
    // when it carries nothing.
    std::optional<MenuNode> menuNode(const platform::AXElement& element, const std::vector<std::string>& parentPath,
                                     std::size_t depth, std::size_t& budget);

    platform::Desktop& desktop_;
};

}  // namespace zentrabo
