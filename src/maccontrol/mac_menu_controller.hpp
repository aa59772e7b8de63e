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
    std::shared_ptr<platform::RunningApplication> targetApplication(const std::optional<std::string>& bundleIdentifier);
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
    // folderPathRequired, folderPathUnavailable, fileBrowserPathUnavailable
    // for the server's own folders, or actionFailed when the workspace
    // refuses.
    void openFolder(const std::optional<std::string>& path);

    // Menu item matching and pressing (menu_press.cpp).
    // Brings the application forward and presses the item the path of
    // titles leads to; a missing list of modes or values means exact titles.
    void pressMenuItem(const std::optional<std::string>& bundleIdentifier, const std::vector<std::string>& path,
                       const std::optional<std::vector<MenuTitleMatchMode>>& matchModes,
                       const std::optional<std::vector<std::optional<std::string>>>& matchValues);
    // The first sibling titled like title (both trimmed); in beginsWith mode,
    // failing that, the first whose title begins with matchValue ignoring
    // case and diacritics.
    std::optional<platform::AXElement> findMenuItem(const std::vector<platform::AXElement>& siblings,
                                                    const std::string& title, const std::string& matchValue,
                                                    MenuTitleMatchMode matchMode);

    // Activation, quit and restart (activation.cpp, display_move.cpp,
    // quit_restart.cpp). The waits turn the desktop clock's run loop.
    // The running application with the bundle identifier (exact), the first
    // the workspace lists; none when none runs.
    std::shared_ptr<platform::RunningApplication> runningApplication(const std::string& bundleIdentifier);
    // Acting on a named application: the one running with the identifier
    // when it is not blank (applicationNotRunning when none runs, so a
    // request never reaches another application), else the frontmost one.
    std::shared_ptr<platform::RunningApplication> namedOrFrontmostApplication(
        const std::optional<std::string>& bundleIdentifier);
    // The running application with the bundle identifier, launched and
    // waited for when it does not run; the frontmost one without an
    // identifier. Does not bring it to the front.
    std::shared_ptr<platform::RunningApplication> activateApplication(
        const std::optional<std::string>& bundleIdentifier);
    // Brings the application, and with allWindows its windows that are not
    // minimized, to the front. Never fails.
    void raiseApplication(platform::RunningApplication& application, bool allWindows);
    bool isFrontmost(const platform::RunningApplication& application);
    void waitUntilFrontmost(const platform::RunningApplication& application, double timeout);
    // Moves the application's windows that are not on the display (0: the
    // main display) onto it, centred. Never fails; failures are logged.
    void moveApplication(platform::RunningApplication& application, platform::DisplayID displayID);
    // The polite terminate request to the named application, else to the
    // frontmost one; does not wait for it to exit.
    void quitApplication(const std::optional<std::string>& bundleIdentifier);
    // Quits the application when it runs and launches a new instance.
    void restartApplication(const std::optional<std::string>& bundleIdentifier);
    // The attribute as a list of elements; empty on any failure.
    std::vector<platform::AXElement> elementsAttribute(const std::string& name, const platform::AXElement& element);
    // The application's windows in its order, without those that read as
    // minimized (an unreadable flag counts as not minimized).
    std::vector<platform::AXElement> unminimizedWindows(const platform::AXElement& applicationElement);

    // Modal windows (modal_windows.cpp, modal_dismissal.cpp).
    // The sheet or modal window that blocks the application, if any.
    std::optional<RemoteModalInfo> modalInfo(const std::optional<std::string>& bundleIdentifier);
    // Presses the blocking window's button; returns the modal window that
    // still blocks the application afterwards, if any.
    std::optional<RemoteModalInfo> dismissModal(const std::optional<std::string>& bundleIdentifier,
                                                const std::optional<std::string>& buttonTitle,
                                                const std::optional<std::string>& expectedTitle);
    std::optional<platform::AXElement> blockingModalWindow(const platform::AXElement& applicationElement);
    std::optional<platform::AXElement> modalElement(const platform::AXElement& element);
    // The buttons and static texts inside a modal window, in walk order,
    // from one walk that reads each element's role once.
    struct ModalParts {
        std::vector<platform::AXElement> buttons;
        std::vector<platform::AXElement> staticTexts;
    };
    ModalParts modalParts(const platform::AXElement& modal);
    RemoteModalInfo describeModal(const platform::AXElement& modal);
    RemoteModalInfo describeModal(const platform::AXElement& modal, const ModalParts& parts);
    std::optional<std::string> modalMessage(const platform::AXElement& modal, const ModalParts& parts);
    std::vector<std::string> modalButtonTitles(const ModalParts& parts);
    std::optional<std::string> staticTextValue(const platform::AXElement& element);
    std::optional<platform::AXElement> dismissButton(const platform::AXElement& modal, const ModalParts& parts,
                                                     const std::optional<std::string>& buttonTitle);
    // The attribute when its value is an element.
    std::optional<platform::AXElement> axElementAttribute(const std::string& name, const platform::AXElement& element);

    // URLs and shortcuts (urls.cpp).
    void openURL(const std::optional<std::string>& urlString);

private:
    // One node at depth (1 for the menu bar's items) and its subtree; none
    // when it carries nothing.
    std::optional<MenuNode> menuNode(const platform::AXElement& element, const std::vector<std::string>& parentPath,
                                     std::size_t depth, std::size_t& budget);
    // The first child whose role is "AXMenu".
    std::optional<platform::AXElement> menuChild(const platform::AXElement& element);
    // The element the path leads to from the menu bar; throws menuItemNotFound.
    platform::AXElement menuPathElement(const platform::AXElement& menuBar, const std::vector<std::string>& path,
                                        const std::optional<std::vector<MenuTitleMatchMode>>& matchModes,
                                        const std::optional<std::vector<std::optional<std::string>>>& matchValues);

    platform::Desktop& desktop_;
};

}  // namespace zentrabo
