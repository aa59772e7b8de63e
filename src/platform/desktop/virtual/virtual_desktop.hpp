#pragma once
// The virtual desktop: an in-process model of applications, their
// accessibility trees, windows, displays, the pasteboard and input, whose
// actions have effects (a pressed menu item opens a sheet, activates another
// application or quits; a terminated application leaves after a delay; a
// launched one arrives after a delay).
//
// Thread-safe with one mutex; nothing is called while it is held. Time comes
// from the injected clock: due events happen when the clock has reached them,
// checked at every call, and the clock's run-loop turns and sleeps stop early
// at the next due event.
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "platform/desktop/desktop.hpp"
#include "platform/desktop/listed_displays.hpp"
#include "platform/desktop/virtual/capture_scene.hpp"
#include "platform/desktop/virtual/desktop_journal.hpp"
#include "platform/desktop/virtual/desktop_scenario.hpp"
#include "platform/desktop/virtual/tone_synthesis.hpp"

namespace zentrabo::platform {

class VirtualDesktop final : public Desktop,
                             public Workspace,
                             public Accessibility,
                             public WindowServer,
                             public ListedDisplays,
                             public ScreenCapture,
                             public Pasteboard,
                             public KeyboardLayoutPreferences,
                             public EventPoster,
                             public std::enable_shared_from_this<VirtualDesktop> {
public:
    static constexpr int maximumTreeDepth = desktopMaximumTreeDepth;
    static constexpr std::size_t maximumWindowsPerApplication = desktopMaximumWindowsPerApplication;
    // Effects that add sheets stop adding at this count, as windows do.
    static constexpr std::size_t maximumSheetsPerWindow = 64;
    static constexpr std::int64_t maximumPixelDimension = desktopMaximumPixelDimension;
    // Windows without a minimum of their own refuse to become smaller than
    // this, as real ones do.
    static constexpr Size defaultMinimumWindowSize{120, 80};
    // Entries kept in the journal and in the posted-event list.
    static constexpr std::size_t journalCapacity = 4096;
    static constexpr double defaultMessagingTimeout = 6.0;

    // Builds the desktop from a scenario (checked with validateScenario) and
    // writes its installed applications as bundle folders into
    // applicationFolders(). The clock must outlive the desktop. Throws
    // ScenarioError for a faulty scenario and std::system_error when the
    // bundles cannot be written. The desktop becomes the clock's next-due
    // hook (held weakly), so one clock serves one desktop.
    static std::shared_ptr<VirtualDesktop> create(const DesktopScenario& scenario, Clock& clock);

    // Desktop
    Workspace& workspace() override { return *this; }
    Accessibility& accessibility() override { return *this; }
    WindowServer& windowServer() override { return *this; }
    Displays& displays() override { return *this; }
    ScreenCapture& screenCapture() override { return *this; }
    Pasteboard& pasteboard() override { return *this; }
    KeyboardLayoutPreferences& keyboardLayout() override { return *this; }
    EventPoster& eventPoster() override { return *this; }
    Clock& clock() override { return clock_; }
    std::optional<std::filesystem::path> browsableDataFolder() override;

    // The folders holding the installed application bundles, in search
    // order (the system-wide folder first, then the user's own).
    std::vector<std::filesystem::path> applicationFolders();

    // Workspace
    std::vector<std::shared_ptr<RunningApplication>> runningApplications() override;
    std::shared_ptr<RunningApplication> frontmostApplication() override;
    std::vector<InstalledApplication> installedApplications() override;
    std::optional<std::filesystem::path> urlForApplication(const std::string& bundleIdentifier) override;
    OpenResult openApplication(const std::filesystem::path& bundle, bool activates) override;
    OpenResult openURL(const std::string& url) override;
    OpenResult openFile(const std::filesystem::path& path) override;
    std::optional<RgbaImage> iconForFile(const std::filesystem::path& path) override;

    // Accessibility
    bool isProcessTrusted() override;
    bool requestProcessTrust() override;
    AXElement systemWideElement() override;
    AXElement applicationElement(ProcessID pid) override;
    AXError setMessagingTimeout(const AXElement& element, double seconds) override;
    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) override;
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) override;
    AXError performAction(const AXElement& element, const std::string& action) override;
    MenuTreeRead menuTree(ProcessID application, const MenuReadLimits& limits) override;
    MenuPressResult pressMenuItem(ProcessID application, std::size_t levels, const MenuItemChooser& choose,
                                  const MenuReadLimits& limits) override;
    std::optional<ModalWindow> modalWindow(ProcessID application, const MenuReadLimits& limits) override;
    ModalPressResult pressModalButton(ProcessID application, const ModalButtonChooser& choose,
                                      const MenuReadLimits& limits) override;
    bool insertIntoFocusedField(const std::string& text, const MenuReadLimits& limits) override;
    std::vector<ApplicationWindow> applicationWindows(ProcessID application) override;
    std::optional<Rect> windowFrame(const AXElement& window) override;
    AXError setWindowPosition(const AXElement& window, const Point& origin) override;
    AXError setWindowSize(const AXElement& window, const Size& size) override;
    AXError setWindowMinimized(const AXElement& window, bool minimized) override;
    AXError raiseWindow(const AXElement& window) override;
    AXError bringApplicationForward(ProcessID application) override;

    // WindowServer
    std::optional<std::vector<ListedWindow>> windows() override;

    // Displays
    std::int32_t setMode(DisplayID display, const DisplayMode& mode) override;
    std::optional<std::filesystem::path> desktopImageURL(DisplayID display) override;

    // ScreenCapture
    bool preflightAccess() override;
    bool requestAccess() override;
    std::optional<ShareableContent> shareableContent(bool excludeDesktopWindows, bool onScreenOnly) override;
    std::optional<RgbaImage> displayImage(DisplayID display) override;
    std::optional<RgbaImage> windowImage(WindowID window) override;
    std::shared_ptr<CaptureStream> makeCaptureStream(ContentFilter filter, StreamConfiguration configuration,
                                                     CaptureStreamStopHandler onStop) override;
    double pointPixelScale(const ContentFilter& filter) override;
    // The model's sound is its own: always there.
    SoundAvailability soundAvailability() override { return {SoundAvailability::State::available, {}}; }
    void whenStreamSoundChanges(std::function<void(const std::optional<std::string>&)>) override {}

    // Pasteboard
    std::vector<PasteboardItem> items() override;
    std::int64_t clearContents() override;
    bool setString(const std::string& text) override;
    bool writeItems(const std::vector<PasteboardItem>& items) override;
    std::optional<std::string> string() override;
    std::int64_t changeCount() override;
    // Its items are copied whole, whatever their size.
    PasteboardTypesLeftOut typesLeftOut() override { return {}; }

    // KeyboardLayoutPreferences
    std::optional<PropertyListValue> textInputPreferences() override;

    // EventPoster
    bool post(const InputEvent& event) override;

    // For tests: what happened, oldest first (the last journalCapacity entries).
    std::vector<JournalEntry> journal();
    std::vector<InputEvent> postedEvents();
    void clearJournal();
    // Permission switches, as the user would flip them in the settings.
    void setAccessibilityTrusted(bool trusted);
    void setScreenRecordingAllowed(bool allowed);
    // The keys that went down and have not come up since (modifier keys
    // included), in the order they went down.
    std::vector<KeyCode> heldKeys();
    // The mouse buttons pressed and not let go of since, in the order they
    // went down.
    enum class MouseButton { left, right, other };
    std::vector<MouseButton> heldMouseButtons();
    // Failure switches. The n-th post from now (1: the next) cannot be
    // created: it answers false and posts nothing, while the posts before and
    // after it succeed. The n-th pasteboard write from now (a string or
    // items) answers false and writes nothing. Zero switches either off.
    void failPost(std::size_t n);
    void refusePasteboardWrite(std::size_t n);
    // Called at the start of every post, on the poster's thread and outside
    // the desktop's lock, so a test can hold a caller inside its post.
    void setPostHook(std::function<void(const InputEvent&)> hook);
    // Text fields that accept a new "AXValue" and keep their old one.
    void setTextFieldsKeepValue(bool keep);
    // Gives the focused text field this selection whatever its value's
    // length, as an application reporting a stale range would.
    void setFocusedTextSelection(TextRange range);
    // Display-mode switches answer this error code and change nothing;
    // displayerror::success lets them work again.
    void setDisplayModeSwitchError(std::int32_t code);
    // Called at the start of every display-mode switch, on the caller's
    // thread and outside the desktop's lock.
    void setDisplayModeHook(std::function<void(DisplayID)> hook);
    // For this many fetches after a window moves or is resized, shareable
    // content reports its frame from before the change; a window opened
    // since is left out for as many. Zero: content is current.
    void setShareableContentLag(std::size_t fetches);
    // How the filter and configuration updates of capture streams complete:
    // after latency seconds of the clock (infinite: never), with the error
    // when one is set. A successful update takes effect when it completes, so
    // frames arrive at the new size from then on.
    struct CaptureUpdateBehaviour {
        double latency = 0;
        std::optional<std::string> error;
    };
    void setCaptureUpdateBehaviour(CaptureUpdateBehaviour behaviour);
    CaptureUpdateBehaviour captureUpdateBehaviour();
    // What a capture of the filter shows now, for the desktop's capture
    // streams: whether the filter's display or window exists, and its scene
    // when it is on screen. Throws ScreenCaptureError without the
    // screen-recording permission.
    struct CaptureSnapshot {
        bool contentExists = false;
        std::optional<CaptureScene> scene;
    };
    CaptureSnapshot captureSnapshot(const ContentFilter& filter, bool showsCursor);
    // What a capture of the filter hears now, for the desktop's capture
    // streams: the tones of the running applications it carries (every one
    // for a display, the owner's for a window, the one application's for an
    // application filter) and the form they are delivered in. Throws
    // ScreenCaptureError without the screen-recording permission and while
    // audio capture fails.
    struct AudioSnapshot {
        std::vector<ScenarioTone> tones;
        AudioDeliveryFormat delivery;
    };
    AudioSnapshot audioSnapshot(const ContentFilter& filter);
    // Audio switches for tests. While a failure is set, streams that
    // capture audio refuse to start with its text, and running ones stop
    // with it at their next buffer; none lets audio work again. The
    // delivery format makes captures deliver sound in another sample
    // format, interleaving or rate.
    void setAudioCaptureFailure(std::optional<std::string> error);
    void setAudioDeliveryFormat(AudioDeliveryFormat format);
    // The monotonic time of the next due event, if any (later than now).
    std::optional<double> nextDueTime();

    // Running-application handles call these (they hold the desktop weakly).
    bool applicationIsRunning(ProcessID pid);
    bool applicationIsActive(ProcessID pid);
    bool applicationIsHidden(ProcessID pid);
    std::optional<RgbaImage> applicationIcon(ProcessID pid);
    bool activateApplication(ProcessID pid, bool allWindows);
    bool unhideApplication(ProcessID pid);
    bool terminateApplication(ProcessID pid, bool force);

protected:
    // The main display is the first.
    std::optional<Listing> listedDisplays() override;

private:
    using NodeID = std::int64_t;

    struct Node {
        NodeID id = 0;
        ProcessID owner = 0;
        NodeID parent = 0;
        std::string role;
        std::optional<std::string> subrole;
        std::optional<std::string> title;
        std::optional<std::string> value;
        std::optional<std::string> description;
        std::optional<bool> enabled;
        bool isMenuItem = false;  // answers the command-character attributes
        std::optional<std::string> commandCharacter;
        std::optional<std::int64_t> commandModifiers;
        std::vector<NodeID> children;
        std::vector<ScenarioEffect> effects;
        WindowID window = 0;      // for window nodes
        NodeID cancelButton = 0;  // for sheets and panels
        bool modal = false;
        TextRange selection;
        double messagingTimeout = 0;  // 0: the default
    };

    struct Window {
        WindowID number = 0;
        ProcessID owner = 0;
        NodeID node = 0;  // 0 for windows without an element (the desktop picture)
        std::string ownerName;
        std::string title;
        Rect frame;
        bool minimized = false;
        std::int64_t layer = 0;
        double alpha = 1;
        std::uint32_t color = 0;
        NodeID textField = 0;
        Size minimumSize;
        bool resizable = true;
        // What shareable content reports while it lags behind a change: the
        // frame before it (none: the window is left out), for fetchesLeft more fetches.
        std::optional<Rect> sharedFrame;
        std::size_t sharedFetchesLeft = 0;
    };

    struct Application {
        std::shared_ptr<RunningApplication> handle;
        ProcessID pid = 0;
        ScenarioApplication spec;  // menus and windows as launched
        std::optional<std::filesystem::path> bundlePath;
        bool hidden = false;
        bool terminating = false;
        NodeID menuBar = 0;
        std::vector<WindowID> windows;  // the application's own order, front first
        double messagingTimeout = 0;
    };

    struct Display {
        ScenarioDisplay spec;
        DisplayMode mode;  // current
        WindowID desktopPicture = 0;
        // The picture file's image, and that image at the current mode's
        // pixel size; both none for a display without a picture.
        std::shared_ptr<const RgbaImage> pictureSource;
        std::shared_ptr<const RgbaImage> picture;
    };

    struct Launch {
        ScenarioApplication spec;
        std::optional<std::filesystem::path> bundlePath;
        bool activates = true;
    };
    struct Exit {
        ProcessID pid = 0;
    };
    struct DelayedEffect {
        ProcessID owner = 0;
        NodeID source = 0;
        ScenarioEffect effect;
    };
    using PendingEvent = std::variant<Launch, Exit, DelayedEffect>;

    VirtualDesktop(const DesktopScenario& scenario, Clock& clock);

    // Everything below runs with mutex_ held.
    void start(const DesktopScenario& scenario, std::vector<std::shared_ptr<const RgbaImage>> pictures);
    // Reads the clock, takes the lock and lets every due event happen.
    std::unique_lock<std::mutex> settle();
    void settleLocked(double now);
    void scheduleLocked(double delay, PendingEvent event);
    void applyLocked(PendingEvent& event);
    void recordLocked(std::string action, std::string subject, std::string detail = {});

    Application* applicationLocked(ProcessID pid);
    Application* applicationLocked(const std::string& bundleIdentifier);
    const ScenarioApplication* catalogEntryLocked(const std::string& bundleIdentifier) const;
    // Its icon picture, else a square in its icon colour.
    RgbaImage applicationIconLocked(const ScenarioApplication& spec) const;
    std::string subjectLocked(ProcessID pid) const;
    std::string elementPathLocked(NodeID id) const;

    ProcessID launchLocked(const ScenarioApplication& spec, std::optional<std::filesystem::path> bundlePath,
                           bool activates);
    void exitLocked(ProcessID pid);
    void activateLocked(Application& application, bool allWindows);
    void chooseFrontmostLocked();
    void raiseWindowLocked(Application& application, WindowID window);
    bool terminateLocked(Application& application, bool force);
    bool launchInstalledLocked(const std::string& bundleIdentifier, bool activates);
    // Where every launch request starts (or fails, when its scenario entry says
    // so); the application runs after its launch delay.
    OpenResult requestLaunchLocked(const ScenarioApplication& spec, std::optional<std::filesystem::path> bundlePath,
                                   bool activates);

    NodeID addNodeLocked(ProcessID owner, NodeID parent, std::string role);
    void removeNodeLocked(NodeID id);
    void buildMenuLocked(ProcessID owner, NodeID parent, const ScenarioMenuItem& item, bool topLevel, int depth);
    WindowID addWindowLocked(Application& application, const ScenarioWindow& spec, bool atFront);
    void closeWindowLocked(Application& application, WindowID window);
    void openSheetLocked(Application& application, const ScenarioSheet& sheet);
    void dismissSheetLocked(NodeID fromNode);
    void runEffectsLocked(ProcessID owner, NodeID source, const std::vector<ScenarioEffect>& effects);
    void runEffectLocked(ProcessID owner, NodeID source, const ScenarioEffect& effect);

    // Accessibility lookups: the application an element belongs to, whether
    // it answers, and the timeout a call on it may block for.
    struct ElementTarget {
        AXError error = axerror::success;
        double blockSeconds = 0;  // an unresponsive application blocks this long
    };
    ElementTarget checkElementLocked(const AXElement& element);
    AXAttributeResult readAttributeLocked(const AXElement& element, const std::string& name);
    AXAttributeResult readApplicationAttributeLocked(Application& application, const std::string& name);
    AXAttributeResult readNodeAttributeLocked(const Node& node, const std::string& name);
    AXError writeAttributeLocked(const AXElement& element, const std::string& name, const AXValue& value);
    AXError performLocked(const AXElement& element, const std::string& action);
    // The change on the window of a window element, under the lock, after
    // the element's checks (virtual_window_calls.cpp).
    template <typename Change>
    AXError onWindow(const AXElement& element, Change change);
    // The trees as the menu and dialog walks read them, under the lock
    // (virtual_menus.cpp).
    struct LockedTree;
    NodeID focusedTextFieldLocked();

    bool windowIsOnScreenLocked(const Window& window) const;
    const Display* displayLocked(DisplayID id) const;
    const Display* displayContainingLocked(const Rect& frame) const;
    double displayScaleLocked(const Display& display) const;
    RgbaImage renderDisplayLocked(const Display& display, bool withWindows) const;
    // A window's pixel size on its display, cut to the display's own size.
    std::pair<std::uint32_t, std::uint32_t> windowPixelSizeLocked(const Rect& frame, const Display& display) const;
    std::optional<CaptureScene> displaySceneLocked(const Display& display, std::optional<ProcessID> application,
                                                   bool showsCursor) const;
    std::optional<CaptureScene> windowSceneLocked(const Window& window, bool showsCursor) const;
    const Display* displayShowingPictureLocked(WindowID window) const;
    void moveWindowToFrontLocked(WindowID window);
    // Before a window's frame changes: shareable content keeps the old one
    // while it lags.
    void noteFrameChangeLocked(Window& window);
    void insertTextLocked(const std::string& text);
    // A button pressed at the location activates the application of the
    // window there and raises that window.
    void clickWindowLocked(Point location);

    Clock& clock_;
    std::mutex mutex_;
    std::vector<ScenarioApplication> catalog_;
    std::vector<Application> applications_;   // running, in workspace order
    std::vector<ProcessID> activationOrder_;  // most recent first
    ProcessID active_ = 0;
    ProcessID nextPID_ = 501;
    std::unordered_map<NodeID, Node> nodes_;
    NodeID nextNode_ = 1;
    std::map<WindowID, Window> windows_;
    std::vector<WindowID> zOrder_;  // front to back
    WindowID nextWindow_ = 100;
    std::vector<Display> displays_;
    std::map<std::pair<double, std::uint64_t>, PendingEvent> pending_;
    std::uint64_t nextSequence_ = 0;
    std::map<std::string, std::filesystem::path> installedBundles_;  // by bundle identifier
    // The icons that scenario applications give as pictures, by bundle
    // identifier; set before the desktop is shared and never changed.
    std::map<std::string, std::shared_ptr<const RgbaImage>> iconPictures_;
    double now_ = 0;
    std::deque<JournalEntry> journal_;
    std::deque<InputEvent> posted_;
    double systemWideTimeout_ = 0;
    // Written under the lock; read without it by the permission checks that
    // every request makes, so those cost no lock and no settling.
    std::atomic<bool> accessibilityTrusted_{true};
    std::atomic<bool> screenRecordingAllowed_{true};
    std::vector<PasteboardItem> pasteboardItems_;
    std::int64_t pasteboardChangeCount_ = 0;
    std::vector<KeyCode> heldKeys_;
    std::vector<MouseButton> heldButtons_;
    // Where the pointer is, in global points; posted mouse events move it.
    Point pointer_;
    std::size_t postsUntilFailure_ = 0;  // 0: no post fails
    std::size_t pasteboardWritesUntilRefusal_ = 0;
    std::function<void(const InputEvent&)> postHook_;
    bool textFieldsKeepValue_ = false;
    std::int32_t displayModeSwitchError_ = displayerror::success;
    std::function<void(DisplayID)> displayModeHook_;
    std::size_t shareableContentLag_ = 0;
    CaptureUpdateBehaviour captureUpdateBehaviour_;
    std::optional<std::string> audioCaptureFailure_;
    AudioDeliveryFormat audioDelivery_;
    std::optional<std::string> keyboardLayout_;
    std::vector<ScenarioInputSource> inputSources_;
};

}  // namespace zentrabo::platform
