#include "platform/desktop/x11/x11_accessibility.hpp"

#include <algorithm>
#include <cmath>
#include <thread>

#include "platform/desktop/atspi/atspi_tree.hpp"
#include "platform/desktop/x11/accessible_window_match.hpp"
#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/window_manager_requests.hpp"
#include "platform/desktop/x11/x11_properties.hpp"
#include "platform/desktop/x11/x11_window_modality.hpp"

namespace zentrabo::platform {
namespace {

// How often the window manager's work is looked at while it is waited for,
// and how long a frame must stay put to count as the one it settled on.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr int kSettledPolls = 4;

bool isFinite(const Point& point) { return std::isfinite(point.x) && std::isfinite(point.y); }
bool isFinite(const Size& size) { return std::isfinite(size.width) && std::isfinite(size.height); }

// Within half a pixel: what the window manager can place.
bool near(double a, double b) { return std::fabs(a - b) < 0.5; }

bool isMinimized(X11Connection& x, xcb_window_t window) {
    const auto states = PropertyRead(x, window, x.atom("_NET_WM_STATE"), XCB_ATOM_ATOM).numbers();
    return std::find(states.begin(), states.end(), x.atom("_NET_WM_STATE_HIDDEN")) != states.end();
}

}  // namespace

struct X11Accessibility::ModalityHints {
    explicit ModalityHints(const std::string& display) : x(display) {}

    bool isModal(const AccessibleWindow& accessible) {
        const std::lock_guard lock(mutex);
        const auto windows = x.usable() ? readManagedWindows(x) : std::nullopt;
        const auto client = windows ? matchingClientWindow(*windows, accessible) : std::nullopt;
        return client && isModalWindow(x, *client, *windows);
    }

    std::mutex mutex;
    X11Connection x;
};

X11Accessibility::X11Accessibility(const std::string& display)
    : x_(display), modalityHints_(std::make_shared<ModalityHints>(display)) {}

X11Accessibility::~X11Accessibility() = default;

AXAttributeResult X11Accessibility::copyAttribute(const AXElement& element, const std::string& name) {
    if (!isReady()) return {axerror::apiDisabled, std::nullopt};
    return AtspiAccessibility::copyAttribute(element, name);
}

std::vector<ApplicationWindow> X11Accessibility::applicationWindows(ProcessID application) {
    if (!isReady()) return {};
    const auto listed = listedWindows(application);
    std::vector<ApplicationWindow> windows;
    windows.reserve(listed.size());
    const std::lock_guard lock(xMutex_);
    const auto managed = listed.empty() || !x_.usable() ? std::nullopt : readManagedWindows(x_);
    for (const auto& entry : listed) {
        ApplicationWindow& window = windows.emplace_back(entry.described());
        if (!entry.window) continue;
        // An X11 client reports global places.
        window.frame = entry.window->frame;
        if (const auto client = managed ? matchingClientWindow(*managed, *entry.window) : std::nullopt) {
            window.number = *client;
            if (const auto frame = readFrame(x_, *client)) window.frame = frame;
        }
    }
    return windows;
}

std::optional<Rect> X11Accessibility::windowFrame(const AXElement& window) {
    if (!isReady()) return std::nullopt;
    if (const auto [client, error] = clientWindowOf(window); error == axerror::success) {
        const std::lock_guard lock(xMutex_);
        if (auto frame = x_.usable() ? readFrame(x_, client) : std::nullopt) return frame;
    }
    const auto accessible = accessibleWindow(window).first;
    return accessible ? std::optional(accessible->frame) : std::nullopt;
}

ProcessID X11Accessibility::focusedApplication() {
    const std::lock_guard lock(xMutex_);
    if (!x_.usable()) return 0;
    const xcb_window_t active = readActiveWindow(x_);
    return active ? readWindowProcess(x_, active) : 0;
}

AtspiAccessibility::WindowModality X11Accessibility::windowModality() {
    return [hints = modalityHints_](const AccessibleWindow& accessible) { return hints->isModal(accessible); };
}

std::pair<xcb_window_t, AXError> X11Accessibility::clientWindowOf(const AXElement& element) {
    const auto [accessible, error] = accessibleWindow(element);
    if (!accessible) return {0, error};
    const std::lock_guard lock(xMutex_);
    const auto windows = x_.usable() ? readManagedWindows(x_) : std::nullopt;
    if (!windows) return {0, axerror::cannotComplete};
    const auto window = matchingClientWindow(*windows, *accessible);
    return window ? std::pair(*window, axerror::success) : std::pair(xcb_window_t{0}, axerror::noValue);
}

bool X11Accessibility::waitForWindowManager(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + windowManagerWait;
    for (;;) {
        {
            const std::lock_guard lock(xMutex_);
            if (condition()) return true;
        }
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

AXError X11Accessibility::setWindowPosition(const AXElement& window, const Point& origin) {
    if (!isFinite(origin)) return axerror::illegalArgument;
    return changeFrame(window, origin, std::nullopt);
}

AXError X11Accessibility::setWindowSize(const AXElement& window, const Size& size) {
    if (!isFinite(size)) return axerror::illegalArgument;
    return changeFrame(window, std::nullopt, size);
}

AXError X11Accessibility::setWindowMinimized(const AXElement& element, bool minimized) {
    if (!isReady()) return axerror::apiDisabled;
    auto [window, error] = clientWindowOf(element);
    if (error == axerror::noValue) error = axerror::cannotComplete;
    if (error != axerror::success) return error;
    {
        const std::lock_guard lock(xMutex_);
        if (!x_.usable()) return axerror::cannotComplete;
        if (minimized) {
            requestMinimize(x_, window);
        } else {
            requestActivation(x_, window, readActiveWindow(x_));
        }
    }
    return waitForWindowManager([&] { return isMinimized(x_, window) == minimized; }) ? axerror::success
                                                                                      : axerror::cannotComplete;
}

AXError X11Accessibility::changeFrame(const AXElement& element, std::optional<Point> position,
                                      std::optional<Size> size) {
    if (!isReady()) return axerror::apiDisabled;
    auto [window, error] = clientWindowOf(element);
    if (error == axerror::noValue) error = axerror::cannotComplete;
    if (error != axerror::success) return error;

    std::optional<Rect> before;
    {
        const std::lock_guard lock(xMutex_);
        if (!x_.usable()) return axerror::cannotComplete;
        before = readFrame(x_, window);
        if (!before || !requestFrameChange(x_, window, position, size)) return axerror::cannotComplete;
    }
    // Done when the frame is where it was asked to be, or when the window
    // manager (or the application's size limits) settled on another.
    std::optional<Rect> last = before;
    int unchanged = 0;
    waitForWindowManager([&] {
        const auto frame = readFrame(x_, window);
        if (!frame) return true;
        const bool placed = !position || (near(frame->x, position->x) && near(frame->y, position->y));
        const bool sized = !size || (near(frame->width, size->width) && near(frame->height, size->height));
        if (placed && sized) return true;
        unchanged = frame == last ? unchanged + 1 : 0;
        last = frame;
        return frame != before && unchanged >= kSettledPolls;
    });
    // A frame the window manager did not change as asked still answers
    // success, as a window that keeps to its size limits does: the callers
    // read the frame back.
    return axerror::success;
}

AXError X11Accessibility::bringApplicationForward(ProcessID pid) {
    if (!isReady()) return axerror::apiDisabled;
    const std::lock_guard lock(xMutex_);
    const auto windows = x_.usable() ? readManagedWindows(x_) : std::nullopt;
    if (!windows) return axerror::cannotComplete;
    // Its frontmost shown window; one that is minimized stays so.
    const auto front = std::find_if(windows->begin(), windows->end(), [pid](const ManagedWindow& window) {
        return window.pid == pid && !window.minimized && !window.isDesktopElement();
    });
    if (front == windows->end()) return axerror::cannotComplete;
    requestActivation(x_, front->id, readActiveWindow(x_));
    return axerror::success;
}

AXError X11Accessibility::raiseWindow(const AXElement& element) {
    if (!isReady()) return axerror::apiDisabled;
    const auto [window, error] = clientWindowOf(element);
    if (error == axerror::attributeUnsupported) return axerror::actionUnsupported;
    if (error != axerror::success) return error == axerror::noValue ? axerror::cannotComplete : error;
    {
        const std::lock_guard lock(xMutex_);
        if (!x_.usable()) return axerror::cannotComplete;
        requestActivation(x_, window, readActiveWindow(x_));
    }
    // Input posted right after goes to the raised window, or to the modal
    // dialog over it that the window manager activates instead.
    return waitForWindowManager([&] {
        const xcb_window_t active = readActiveWindow(x_);
        return active == window ||
               (active && PropertyRead(x_, active, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW).number() == window);
    })
               ? axerror::success
               : axerror::cannotComplete;
}

}  // namespace zentrabo::platform
