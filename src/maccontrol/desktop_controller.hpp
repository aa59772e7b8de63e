#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/records/application_records.hpp"
#include "model/records/display_records.hpp"
#include "model/records/menu_records.hpp"
#include "model/records/stream_input_records.hpp"
#include "model/records/stream_records.hpp"
#include "model/records/workflow_step.hpp"
#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/application_bundle.hpp"
#include "platform/desktop/desktop.hpp"

namespace zentrabo {

class MacMenuError;

// What a workflow produced, each list in step order.
struct WorkflowRunResult {
    std::vector<RemoteScreenshot> screenshots;
    std::vector<RemoteTransferredFile> transferredFiles;
};

// What one run may take, so that no request holds the main thread or
// memory without end.
struct WorkflowRunLimits {
    // Seconds of the steps' delays together.
    double maximumTotalDelay = 600;
    // Bytes of the run's screenshots together.
    std::size_t maximumScreenshotByteCount = std::size_t{256} << 20;
};

// The one object through which the server acts on the desktop: menus,
// workflows, input, applications, windows, displays and files. It has no
// queue or lock of its own; each owner (the server, the stream server) has
// its own instance and calls it from the threads it documents.
class DesktopController final {
public:
    struct CachedApplicationIcon {
        std::string sourceKey;
        RemoteApplicationIcon icon;
    };

    static constexpr std::int64_t defaultMaximumApplicationIconPNGByteCount = 393216;

    // The desktop must outlive the controller. Tests lower the icon byte
    // limit to reach it with small icons.
    explicit DesktopController(platform::Desktop& desktop, std::int64_t maximumApplicationIconPNGByteCount =
                                                               defaultMaximumApplicationIconPNGByteCount)
        : maximumApplicationIconPNGByteCount(maximumApplicationIconPNGByteCount), desktop_(desktop) {}
    DesktopController(const DesktopController&) = delete;
    DesktopController& operator=(const DesktopController&) = delete;

    // Icon sizes and limits.
    const std::int64_t applicationIconPixelSize = 96;
    const std::int64_t applicationIconRenderPixelSize = 512;
    const std::int64_t applicationIconProcessingVersion = 3;
    const std::int64_t maximumApplicationIconPNGByteCount;  // inclusive
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
    // What one menu read or press may cost.
    static platform::MenuReadLimits menuReadLimits();
    // The failure to answer for menus that could not be read (the error of
    // a menu read): applicationNotRunning, applicationUnresponsive or
    // menuUnavailable.
    static MacMenuError menuUnreadable(const platform::RunningApplication& application, platform::AXError error);

    // Running and installed applications (application_lists.cpp).
    std::vector<RemoteApplicationInfo> applications();
    static HalvardineApplication snapshotApplication(const platform::RunningApplication& application);

    // Application icons (application_icons.cpp). Identifiers are trimmed;
    // blank and repeated ones, and those without an icon, are left out.
    // At most maximumIconIdentifiersLookedAt are looked at, for at most
    // applicationIconsSeconds on the desktop clock; the rest are left out
    // too, and logged. Never fails.
    static constexpr std::size_t maximumIconIdentifiersLookedAt = 256;
    static constexpr double applicationIconsSeconds = 5.0;
    std::vector<RemoteApplicationIcon> applicationIcons(const std::vector<std::string>& bundleIdentifiers);
    // The icon as a rounded PNG of applicationIconPixelSize, from the cache
    // while the source key stays the same; none (and no cache entry) when no
    // picture can be found, drawn or encoded within the byte limit.
    std::optional<RemoteApplicationIcon> applicationIcon(const std::string& bundleIdentifier);
    // The same, with the running applications already listed.
    std::optional<RemoteApplicationIcon> applicationIcon(
        const std::string& bundleIdentifier,
        const std::vector<std::shared_ptr<platform::RunningApplication>>& runningApplications);
    // The bundle's path, its modification second since 2001 (0 when
    // unreadable), the pixel size and the processing version, joined by "|";
    // without a bundle "running:", the identifier, the size and the version
    // joined by ":".
    std::string iconSourceKey(const std::string& bundleIdentifier,
                              const std::optional<std::filesystem::path>& applicationURL) const;

    // The menu snapshot (menu_snapshot.cpp).
    MenuSnapshot menuSnapshot(const std::optional<std::string>& bundleIdentifier);

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
    // The index of the first sibling titled like title (both trimmed); in
    // beginsWith mode, failing that, of the first whose title begins with
    // matchValue ignoring case and diacritics.
    static std::optional<std::size_t> matchingMenuTitle(const std::vector<std::string>& siblingTitles,
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
    // Activates the application, asks for it to come forward and waits a
    // short while for it to be in front.
    void bringForward(platform::RunningApplication& application, bool allWindows);
    bool isFrontmost(const platform::RunningApplication& application);
    // Turns the run loop until the application is in front, for a short
    // while at most; whether it got there is for the caller to check.
    void waitUntilFrontmost(const platform::RunningApplication& application);
    // Moves the application's windows that are not on the display (0: the
    // main display) onto it, centred. Never fails; failures are logged.
    void moveApplication(platform::RunningApplication& application, platform::DisplayID displayID);
    // The polite terminate request to the named application, else to the
    // frontmost one; does not wait for it to exit.
    void quitApplication(const std::optional<std::string>& bundleIdentifier);
    // Quits the application when it runs and launches a new instance.
    void restartApplication(const std::optional<std::string>& bundleIdentifier);
    // The application's windows in its order without the minimized ones,
    // each handle with the messaging timeout set.
    std::vector<platform::ApplicationWindow> shownWindows(const platform::RunningApplication& application);

    // Modal windows (modal_windows.cpp, modal_dismissal.cpp).
    // The sheet or modal window that blocks the application, if any.
    std::optional<RemoteModalInfo> modalInfo(const std::optional<std::string>& bundleIdentifier);
    // Presses the blocking window's button; returns the modal window that
    // still blocks the application afterwards, if any.
    std::optional<RemoteModalInfo> dismissModal(const std::optional<std::string>& bundleIdentifier,
                                                const std::optional<std::string>& buttonTitle,
                                                const std::optional<std::string>& expectedTitle);
    // The sheet or modal window that blocks the application, as callers
    // are told of it.
    std::optional<RemoteModalInfo> blockingModal(const platform::RunningApplication& application);
    static RemoteModalInfo remoteModal(const platform::ModalWindow& modal);
    // Throws inputBlocked with the sheet or dialog that blocks the
    // application, which would swallow a command, a key or a paste.
    void refuseInputWhileBlocked(const platform::RunningApplication& application);

    // URLs and shortcuts (urls.cpp).
    void openURL(const std::optional<std::string>& urlString);

    // Application windows (application_windows.cpp), from the window list
    // front to back.
    // A window of the owner, on screen, not part of the desktop, in the normal
    // layer, not fully transparent and at least 40 x 40 points.
    static bool isCandidateWindow(const platform::ListedWindow& window, platform::ProcessID owner);
    // The application's windows that pass isCandidateWindow, in list order;
    // empty when the list cannot be read.
    std::vector<platform::ListedWindow> candidateWindows(const platform::RunningApplication& application);
    // The number of the first candidate window.
    std::optional<platform::WindowID> frontWindowNumber(const platform::RunningApplication& application);
    // The window's title and the wanted title, both trimmed, are equal; or,
    // with beginsWith, the window's begins with it ignoring case and diacritics.
    static bool windowTitleMatches(const platform::ListedWindow& window, std::string_view title, bool beginsWith);
    // The number of the first window whose title matches a title that is not
    // blank; none when no window matches.
    static std::optional<platform::WindowID> matchingWindowNumber(const std::optional<std::string>& title,
                                                                  MenuTitleMatchMode matchMode,
                                                                  const std::vector<platform::ListedWindow>& windows);
    // Brings the application (launched when needed) forward and lists its
    // windows that are not minimized, by title and then by number. Throws
    // the failures of activateApplication.
    std::vector<RemoteApplicationWindowInfo> applicationWindows(const std::optional<std::string>& bundleIdentifier);

    // Displays (display_list.cpp).
    struct PixelSize {
        std::int64_t width = 0;
        std::int64_t height = 0;
    };
    // The connected displays; the main display alone when the list cannot
    // be read.
    std::vector<platform::DisplayID> onlineDisplayIDs();
    // The main display, then with two or more displays "All Monitors", then
    // the others by identifier. Never fails.
    std::vector<RemoteDisplayInfo> displays();
    // The union of the bounds of the displays that have an area.
    std::optional<platform::Rect> allDisplaysBounds(const std::vector<platform::DisplayID>& ids);
    // The pixel size of a picture of all those displays at the densest
    // display's scale; the main display's pixel size when none has an area.
    PixelSize allDisplaysPixelSize(const std::vector<platform::DisplayID>& ids);
    // The picture of bounds at scale: each side rounded up, at least 1.
    static PixelSize canvasSize(const platform::Rect& bounds, double scale);

    // Screenshots (display_screenshots.cpp, window_screenshots.cpp,
    // screenshot_encoding.cpp). Every capture checks the screen-recording
    // permission first, asking for it once: screenRecordingMissing.
    struct DisplayScreenshotSource {
        platform::Rect bounds;  // global points
        platform::RgbaImage image;
        double scale = 1;  // image pixels per point, at least 1
    };
    void requireScreenCaptureAccess();
    // One display (the main one without an identifier), or with allDisplays
    // all of them as allDisplaysScreenshot; displayName titles the picture.
    // Throws screenshotDisplayUnavailable for a display that is not online
    // and screenshotCaptureFailed.
    RemoteScreenshot displayScreenshot(const std::optional<platform::DisplayID>& displayID,
                                       const std::optional<std::string>& displayName, bool allDisplays);
    // Every display that can be captured, as they are arranged, on black
    // (DisplayComposite). The caller checks the permission.
    RemoteScreenshot allDisplaysScreenshot(const std::optional<std::string>& title);
    // The frontmost application's front window.
    RemoteScreenshot frontmostWindowScreenshot();
    // A window of the application with the (trimmed) bundle identifier, else
    // of the frontmost one: the candidate with windowID, else the first whose
    // title matches, else the front window, else the first candidate. With
    // activates the application is launched when needed and brought forward;
    // without, it must be running (applicationNotRunning).
    RemoteScreenshot applicationWindowScreenshot(const std::optional<std::string>& bundleIdentifier,
                                                 const std::optional<std::string>& applicationName,
                                                 const std::optional<platform::WindowID>& windowID,
                                                 const std::optional<std::string>& windowTitle,
                                                 const std::optional<MenuTitleMatchMode>& titleMatchMode,
                                                 bool activates);
    // What a stream with these options would show, without activating anything.
    RemoteScreenshot screenStreamPreviewScreenshot(const RemoteScreenStreamRequest& request);
    // The picture as a JPEG (quality 0.9) record; screenshotCaptureFailed
    // when it cannot be encoded (a side over 65500 pixels).
    RemoteScreenshot encodeScreenshot(const platform::RgbaRows& picture, std::string title,
                                      std::string_view filenamePrefix);
    RemoteScreenshot encodeScreenshot(const platform::PackedPixels& picture, std::string title,
                                      std::string_view filenamePrefix);
    RemoteScreenshot screenshotRecord(std::vector<std::uint8_t> jpeg, std::string title,
                                      std::string_view filenamePrefix);
    // The prefix lowercased, reduced to letters, marks, digits, "_" and single
    // "-" between them ("screenshot" when nothing is left), then "-", the
    // local time as yyyyMMdd-HHmmss and ".jpg".
    std::string screenshotFilename(std::string_view prefix);

    // Display wallpapers (wallpapers.cpp). Nothing here throws.
    struct WallpaperWindowCandidate {
        platform::WindowID windowNumber = 0;
        double coverage = 0;  // 0 to 1
        std::int64_t layer = 0;
    };
    // The display's desktop picture (the main display's without an
    // identifier) as a JPEG of at most 2400 pixels a side: captured from the
    // Dock's window, else read from the picture file; none when neither works.
    std::optional<RemoteDisplayWallpaper> displayWallpapers(const std::optional<platform::DisplayID>& displayID);
    // The Dock window that shows the display's picture: the candidate that
    // covers most of it, the higher layer among coverages within 0.001.
    std::optional<platform::WindowID> wallpaperWindowID(platform::DisplayID display);
    // A Dock window named "Wallpaper-..." covering at least 85 % of the
    // display (or of itself, when it is smaller).
    static std::optional<WallpaperWindowCandidate> wallpaperCandidate(const platform::ListedWindow& window,
                                                                      const platform::Rect& displayBounds,
                                                                      double displayArea);
    // The image scaled down to 2400 pixels on its long side when longer.
    std::optional<platform::RgbaImage> limitedWallpaperImage(platform::RgbaImage image);
    // The picture file decoded upright, at most 2400 pixels a side.
    std::optional<platform::RgbaImage> wallpaperImage(const std::filesystem::path& url);
    std::optional<std::vector<std::uint8_t>> wallpaperJPEGData(const platform::RgbaImage& image);
    std::string wallpaperFilename(const std::string& displayName);

    // Key presses and event posting (key_presses.cpp). Every posted sequence
    // holds the desktop's input lock, so sequences of two callers never mix.
    struct KeyStroke {
        platform::KeyCode keyCode = 0;
        platform::EventFlags flags = 0;
        bool operator==(const KeyStroke&) const = default;
    };
    // A named key ("return", "f5", "+") or a one-character key of the US
    // layout ("a", "1", "="), compared exactly; none for any other name.
    static std::optional<platform::KeyCode> keyCode(std::string_view name);
    // The flags of the modifier names (trimmed, any case): command, cmd and
    // meta; shift; option and alt; control and ctrl. Other names are ignored.
    static platform::EventFlags modifierFlags(const std::optional<std::vector<std::string>>& names);
    // Presses the named key (trimmed, any case) with the named modifiers.
    // Throws accessibilityMissing, keyPressRequired, keyPressUnsupported
    // (with the key as given) or actionFailed.
    void pressKey(const std::optional<std::string>& key, const std::optional<std::vector<std::string>>& modifiers);
    // The key down and up; with flags, postKeyWithModifierKeys. Throws
    // actionFailed when an event cannot be made, after letting go of every
    // key the sequence holds down.
    void postKey(platform::KeyCode keyCode, platform::EventFlags flags);
    // The modifier keys of the flags down in the order control, option,
    // shift, command (each event carrying the modifiers down so far), the key
    // down and up with the flags, then the modifier keys up in reverse.
    void postKeyWithModifierKeys(platform::KeyCode keyCode, platform::EventFlags flags);

    // Text, clipboard and paste (clipboard.cpp, remote_keyboard.cpp,
    // german_keyboard.cpp).
    // Replaces the pasteboard's contents with the text; throws
    // clipboardTextRequired or actionFailed.
    void setClipboardText(const std::optional<std::string>& text);
    // Puts the text on the pasteboard, posts Command-V, waits 0.2 s and puts
    // back what the pasteboard held before, also when the paste fails.
    // Throws accessibilityMissing, textInputRequired or actionFailed.
    void pasteText(const std::optional<std::string>& text);
    // Writes the text over the focused element's selection and moves the
    // caret behind it; true only when the element then reads as expected.
    // Never throws.
    bool insertTextViaAccessibility(const std::string& text);
    // Copies of the pasteboard's items; an item with nothing to copy is left
    // out.
    static std::vector<platform::PasteboardItem> savedPasteboardItems(platform::Pasteboard& pasteboard);
    static std::optional<platform::PasteboardItem> copyPasteboardItem(const platform::PasteboardItem& item);
    // Whether the user types on a German layout, read afresh at every call.
    bool usesGermanKeyboardLayout();
    // The German layout's key for the character (case-sensitive), with its
    // flags.
    static std::optional<KeyStroke> germanKeyStroke(std::string_view character);

    // Remote keyboard events (remote_keyboard.cpp, remote_keyboard_keys.cpp).
    // Delivers a stream's keyboard event as a media key, a key press, text
    // inserted through accessibility or a typed text event. Throws
    // accessibilityMissing, the failures of pressKey, or actionFailed.
    void handleRemoteKeyboardEvent(const RemoteScreenKeyboardEvent& event);
    // The system-defined key type of a media key name (trimmed, any case).
    static std::optional<std::int64_t> mediaKeyType(std::string_view name);
    // The media key's down and up events; throws actionFailed.
    void postMediaKey(std::int64_t type);
    // False for the keys (trimmed, any case) that always go as key presses:
    // return, escape, tab, delete, the arrows and the like, and media keys.
    static bool isTextKey(std::string_view key);
    // False when a modifier (trimmed, any case) is command or control.
    static bool modifiersAllowTextInsertion(const std::optional<std::vector<std::string>>& modifiers);
    // True when text insertion is not refused and the text has a scalar that
    // is neither a control character nor a line break.
    static bool hasPrintableCharacter(std::string_view text, std::optional<bool> prefersTextInsertion);
    // One key event pair that types exactly the text: the key stroke of a
    // single character, else Space. Throws actionFailed.
    void postUnicodeText(const std::string& text);
    // The key that types one character: on a German layout its German key,
    // else its US key (with shift for an upper-case letter or a shifted
    // symbol); none when no key types it.
    std::optional<KeyStroke> keyStroke(std::string_view character);

    // Received files (received_files.cpp). A file a device sends is saved
    // under a name of its own and never takes the place of anything.
    // Saves the step's bytes into transferDestinationFolder (created with its
    // parents) under the first free name of uniqueFileURL. The folder is
    // opened and judged once; the file is written, checked for a free name
    // and named relative to that folder's descriptor, so a folder swapped for
    // a link meanwhile changes nothing. Throws fileTransferRequired,
    // fileTransferTooLarge (more than
    // HalvardineProtocol::maximumFileTransferByteCount bytes),
    // fileTransferDestinationUnavailable (the destination is not a folder,
    // or is or lies in the server's own folders, isServerOwnItem) and
    // fileTransferFailed; a failed save leaves nothing behind but the
    // folders it created.
    RemoteTransferredFile saveTransferredFile(const MenuWorkflowStep& step, const std::string& destination);
    // The same; beforePublish runs with each chosen path after its check and
    // before the file takes the name (tests take the name there).
    RemoteTransferredFile saveTransferredFile(const MenuWorkflowStep& step, const std::string& destination,
                                              const std::function<void(const std::string&)>& beforePublish);
    // The step's trimmed folderPath as fileURL resolves it, else the default.
    static std::string transferDestinationFolder(const MenuWorkflowStep& step, const std::string& defaultFolder);
    // The first non-blank of the step's file name and original file name
    // (else defaultTransferFilename), sanitized, with the preferred extension
    // of its MIME type when it has none.
    std::string transferFilename(const MenuWorkflowStep& step);
    // "Photo-yyyyMMdd-HHmmss.jpg" for a photo, "File-yyyyMMdd-HHmmss"
    // otherwise, in local time by the desktop clock.
    std::string defaultTransferFilename(const MenuWorkflowStep& step);
    // The last path component with every character that is neither a letter,
    // mark or digit nor one of " -_.()" made "-", "--" made "-", and ". -_"
    // trimmed from both ends; "File-" and a new UUID when nothing is left.
    static std::string sanitizedFilename(std::string_view name);
    struct UniqueFileName {
        std::string url;
        int number = 1;  // 1 for the name itself, else the number it carries
    };
    // The first of folder/filename (number 1) and its numbered variants
    // "base 2.ext" to "base 9999.ext", from firstNumber on, at which no entry
    // of the folder's descriptor exists, a dangling link included; throws
    // fileTransferFailed "Too many files with the same name." past them.
    static UniqueFileName uniqueFileURL(int folderDescriptor, const std::string& folder, const std::string& filename,
                                        int firstNumber = 1);

    // The workflow runner (workflow_runner.cpp).
    // Runs the steps in order on the calling thread, which it blocks for the
    // whole run (every delay and every wait of the operations it calls); the
    // server calls it on the main loop, so no other request, timer or
    // terminal command runs meanwhile. Each step is logged, carried out by
    // its kind and followed by its delay; the first failure ends the run
    // with its error, keeping the effects of the steps before it (a saved
    // file stays). Returns the screenshots and saved files in step order.
    WorkflowRunResult runWorkflow(const std::vector<MenuWorkflowStep>& steps, const std::string& fileReceiveFolder,
                                  const WorkflowRunLimits& limits = {});

private:
    // The desktop's input lock, for one posted sequence or one pasteboard
    // operation; taken once per operation, outermost.
    std::unique_lock<std::mutex> holdInput() { return std::unique_lock(desktop_.inputLock()); }
    // postKeyWithModifierKeys with the input lock already held.
    void postModifierKeySequence(platform::KeyCode keyCode, platform::EventFlags flags);

    // "Monitor" names: the screen's name, else "Main Monitor" for the main
    // display and "Monitor <position + 1>" for the others.
    std::string monitorName(platform::DisplayID display, std::size_t position);
    // The application a window screenshot is taken of.
    std::shared_ptr<platform::RunningApplication> windowScreenshotApplication(
        const std::optional<std::string>& bundleIdentifier, bool activates);
    // The window alone, encoded with the application's name.
    RemoteScreenshot windowScreenshot(platform::WindowID window, const std::string& applicationName);

    static MacMenuError unresponsive(const platform::RunningApplication& application);

    platform::Desktop& desktop_;
};

}  // namespace zentrabo
