#include "platform/desktop/x11/x11_accessibility.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/desktop/atspi/atspi_connection.hpp"
#include "platform/desktop/atspi/atspi_status.hpp"
#include "platform/desktop/atspi/atspi_thread.hpp"
#include "platform/desktop/atspi/atspi_tree.hpp"
#include "platform/desktop/menu_walk.hpp"
#include "platform/desktop/x11/accessible_window_match.hpp"
#include "platform/desktop/x11/managed_windows.hpp"
#include "platform/desktop/x11/window_manager_requests.hpp"
#include "platform/desktop/x11/x11_properties.hpp"
#include "platform/desktop/x11/x11_window_modality.hpp"

namespace zentrabo::platform {
namespace {

// How long the constructor waits for the thread to reach the bus; how long
// and how often a later call waits while it looks for it again. The retry
// comes sooner than the permission monitor's 2 s refresh, so each refresh
// looks.
constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr auto kBusRetryTimeout = std::chrono::milliseconds(500);
constexpr auto kBusRetryInterval = std::chrono::milliseconds(1500);
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

// Every desktop of the process shares one thread, one tree and one
// connection to the accessibility bus while any of them lives. A bus that
// cannot be reached, or whose connection closed (it ended or restarted), is
// connected to anew, at most once per kBusRetryInterval: one that appears
// later (accessibility switched on after the server started) or comes back
// is found without a restart, and what was found on the old one is invalid.
struct X11Accessibility::Bus {
    // What the thread's work uses lives longer than the thread, which ends
    // first. The tree is used on the thread only.
    AtspiTree tree;
    std::mutex mutex;
    std::shared_ptr<AtspiConnection> connection;
    std::chrono::steady_clock::time_point lastAttempt;
    AtspiThread thread{[] {}};

    Bus() { attempt(kStartTimeout); }

    // Whether the bus is reached, connecting anew when it is due.
    bool isReady() {
        {
            const std::lock_guard lock(mutex);
            if (connection && !connection->isClosed()) return true;
            if (std::chrono::steady_clock::now() - lastAttempt < kBusRetryInterval) return false;
        }
        attempt(kBusRetryTimeout);
        const std::lock_guard lock(mutex);
        return connection && !connection->isClosed();
    }

private:
    // The attempt sets the connection itself, so one that ends after its
    // caller stopped waiting still counts.
    void attempt(std::chrono::milliseconds timeout) {
        {
            const std::lock_guard lock(mutex);
            lastAttempt = std::chrono::steady_clock::now();
        }
        thread.call(
            [this] {
                {
                    const std::lock_guard lock(mutex);
                    if (connection && !connection->isClosed()) return true;
                }
                auto opened = AtspiConnection::open();
                if (!opened) return false;
                tree.connect(opened);
                const std::lock_guard lock(mutex);
                connection = std::move(opened);
                return true;
            },
            timeout);
    }
};

std::shared_ptr<X11Accessibility::Bus> X11Accessibility::sharedBus() {
    static std::mutex mutex;
    static std::weak_ptr<Bus> shared;
    const std::lock_guard lock(mutex);
    auto bus = shared.lock();
    if (!bus) {
        bus = std::make_shared<Bus>();
        shared = bus;
    }
    return bus;
}

X11Accessibility::X11Accessibility(const std::string& display) : bus_(sharedBus()), x_(display) {}

X11Accessibility::~X11Accessibility() = default;

// Usable when the library reached the bus and the session's accessibility
// switch is on, as assistive tools expect it to be.
bool X11Accessibility::isProcessTrusted() { return bus_->isReady() && AtspiStatus::session().enabled(); }

// Turning the switch on is what a desktop's accessibility setting does.
bool X11Accessibility::requestProcessTrust() { return bus_->isReady() && AtspiStatus::session().enable(); }

// Applications that do not listen for the switch decide at their start
// whether to join the bus. The switch itself lives on the session bus: a
// server started outside the session (over ssh, from a service) has none.
std::string X11Accessibility::processTrustRequestNote() const {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code error;
    const bool sessionBus =
        (address && *address) ||
        (runtime && *runtime && std::filesystem::exists(std::filesystem::path(runtime) / "bus", error));
    if (!sessionBus) {
        return "There is no session bus to switch accessibility on with (DBUS_SESSION_BUS_ADDRESS is unset and "
               "$XDG_RUNTIME_DIR/bus is missing): start the server inside the desktop session.";
    }
    return "Applications started while accessibility was off may need a restart before they can be read.";
}

AXElement X11Accessibility::systemWideElement() { return AXElement(AXElement::Kind::systemWide, 0); }

AXElement X11Accessibility::applicationElement(ProcessID pid) { return AXElement(AXElement::Kind::application, pid); }

AXError X11Accessibility::setMessagingTimeout(const AXElement& element, double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return axerror::illegalArgument;
    const std::lock_guard lock(mutex_);
    if (seconds == 0) {
        timeouts_.erase(element);
        return axerror::success;
    }
    if (timeouts_.size() >= AtspiTree::maxElements && !timeouts_.contains(element)) timeouts_.erase(timeouts_.begin());
    timeouts_[element] = seconds;
    return axerror::success;
}

std::chrono::milliseconds X11Accessibility::timeoutOf(const AXElement& element) {
    const std::lock_guard lock(mutex_);
    double seconds = defaultMessagingTimeout;
    if (const auto own = timeouts_.find(element); own != timeouts_.end()) {
        seconds = own->second;
    } else if (const auto all = timeouts_.find(systemWideElement()); all != timeouts_.end()) {
        seconds = all->second;
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

template <typename Work>
auto X11Accessibility::onTree(const AXElement& element, Work work, std::optional<std::chrono::milliseconds> bound)
    -> std::optional<decltype(work(std::declval<AtspiTree&>()))> {
    const auto perCall = timeoutOf(element);
    return bus_->thread.call(
        [tree = &bus_->tree, work = std::move(work), perCall] {
            tree->setTimeout(perCall);
            return work(*tree);
        },
        bound.value_or(perCall));
}

AXAttributeResult X11Accessibility::copyAttribute(const AXElement& element, const std::string& name) {
    if (!bus_->isReady()) return {axerror::apiDisabled, std::nullopt};
    if (element.kind() == AXElement::Kind::systemWide && name == "AXFocusedUIElement") return focusedElement(element);
    if (name == "AXWindowNumber") {
        const auto [window, error] = clientWindowOf(element);
        if (error != axerror::success) return {error, std::nullopt};
        return {axerror::success, static_cast<std::int64_t>(window)};
    }
    if (name == "AXChildren" && element.kind() == AXElement::Kind::node) return children(element);
    if (name == "AXModal" && element.kind() == AXElement::Kind::node) return modal(element);
    if (name == "AXPosition" || name == "AXSize") {
        if (const auto frame = windowFrame(element)) {
            if (name == "AXPosition") return {axerror::success, frame->origin()};
            return {axerror::success, frame->size()};
        }
    }
    return onTree(element, [element, name](AtspiTree& tree) { return tree.copyAttribute(element, name); })
        .value_or(AXAttributeResult{axerror::cannotComplete, std::nullopt});
}

AXAttributeResult X11Accessibility::children(const AXElement& element) {
    const auto count = onTree(element, [element](AtspiTree& tree) { return tree.childCount(element); });
    if (!count) return {axerror::cannotComplete, std::nullopt};
    if (count->second != axerror::success) return {count->second, std::nullopt};
    auto listed = onTree(
        element,
        [element](AtspiTree& tree) {
            std::vector<AXElement> children;
            const AXError error = tree.childElements(element, children);
            return std::pair(error, std::move(children));
        },
        timeoutOf(element) * AtspiTree::listingPieces(count->first));
    if (!listed) return {axerror::cannotComplete, std::nullopt};
    if (listed->first != axerror::success) return {listed->first, std::nullopt};
    return {axerror::success, std::move(listed->second)};
}

AXError X11Accessibility::setAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
    if (!bus_->isReady()) return axerror::apiDisabled;
    if (name == "AXFrontmost") return setFrontmost(element, value);
    if (name == "AXPosition" || name == "AXSize" || name == "AXMinimized") {
        return setWindowAttribute(element, name, value);
    }
    return onTree(element, [element, name, value](AtspiTree& tree) { return tree.setAttribute(element, name, value); })
        .value_or(axerror::cannotComplete);
}

AXError X11Accessibility::performAction(const AXElement& element, const std::string& action) {
    if (!bus_->isReady()) return axerror::apiDisabled;
    if (action == "AXRaise") return raise(element);
    return onTree(element, [element, action](AtspiTree& tree) { return tree.performAction(element, action); })
        .value_or(axerror::cannotComplete);
}

template <typename Walk>
auto X11Accessibility::menuWork(const MenuReadLimits& limits, Walk walk)
    -> std::optional<decltype(walk(std::declval<AtspiTree&>(), std::chrono::steady_clock::time_point{}))> {
    const auto deadline = std::chrono::steady_clock::now() + limits.inAll;
    return bus_->thread.call(
        [tree = &bus_->tree, walk = std::move(walk), deadline, perCall = limits.perCall] {
            tree->setTimeout(perCall);
            return walk(*tree, deadline);
        },
        limits.inAll + limits.perCall);
}

MenuTreeRead X11Accessibility::menuTree(ProcessID application, const MenuReadLimits& limits) {
    MenuTreeRead unread;
    unread.error = axerror::apiDisabled;
    if (!bus_->isReady()) return unread;
    unread.error = axerror::cannotComplete;
    return menuWork(limits,
                    [application, limits](AtspiTree& tree, auto deadline) {
                        return readMenuTree(tree, application, limits, deadline);
                    })
        .value_or(std::move(unread));
}

// The chooser is copied into the work, which may outlive the call.
MenuPressResult X11Accessibility::pressMenuItem(ProcessID application, std::size_t levels,
                                                const MenuItemChooser& choose, const MenuReadLimits& limits) {
    using Outcome = MenuPressResult::Outcome;
    if (!bus_->isReady()) return {Outcome::menuUnreadable, axerror::apiDisabled, 0};
    return menuWork(limits,
                    [application, levels, choose](AtspiTree& tree, auto deadline) {
                        return pressMenuPath(tree, application, levels, choose, deadline);
                    })
        .value_or(MenuPressResult{Outcome::menuUnreadable, axerror::cannotComplete, 0});
}

AXAttributeResult X11Accessibility::focusedElement(const AXElement& systemWide) {
    ProcessID pid = 0;
    {
        const std::lock_guard lock(xMutex_);
        if (!x_.usable()) return {axerror::cannotComplete, std::nullopt};
        if (const xcb_window_t active = readActiveWindow(x_)) pid = readWindowProcess(x_, active);
    }
    if (pid <= 0) return {axerror::noValue, std::nullopt};
    return onTree(systemWide, [application = applicationElement(pid)](
                                  AtspiTree& tree) { return tree.copyAttribute(application, "AXFocusedUIElement"); })
        .value_or(AXAttributeResult{axerror::cannotComplete, std::nullopt});
}

AXAttributeResult X11Accessibility::modal(const AXElement& element) {
    // One visit to the tree: the bus's answer, and for a window it does not
    // call modal what the window manager needs to find its X window.
    const auto answer = onTree(element, [element](AtspiTree& tree) {
        auto modal = tree.copyAttribute(element, "AXModal");
        std::optional<AtspiTree::WindowLookup> window;
        const bool* flag = modal.value ? std::get_if<bool>(&*modal.value) : nullptr;
        if (modal.error == axerror::success && flag && !*flag) window = tree.windowOf(element);
        return std::pair(std::move(modal), std::move(window));
    });
    if (!answer) return {axerror::cannotComplete, std::nullopt};
    const auto& [modal, window] = *answer;
    if (!window || window->error != axerror::success) return modal;
    const std::lock_guard lock(xMutex_);
    const auto windows = x_.usable() ? readManagedWindows(x_) : std::nullopt;
    const auto client = windows ? matchingClientWindow(*windows, window->window) : std::nullopt;
    return {axerror::success, client && isModalWindow(x_, *client, *windows)};
}

std::pair<xcb_window_t, AXError> X11Accessibility::clientWindowOf(const AXElement& element) {
    const auto lookup = onTree(element, [element](AtspiTree& tree) { return tree.windowOf(element); });
    if (!lookup) return {0, axerror::cannotComplete};
    if (lookup->error != axerror::success) return {0, lookup->error};
    const std::lock_guard lock(xMutex_);
    const auto windows = x_.usable() ? readManagedWindows(x_) : std::nullopt;
    if (!windows) return {0, axerror::cannotComplete};
    const auto window = matchingClientWindow(*windows, lookup->window);
    return window ? std::pair(*window, axerror::success) : std::pair(xcb_window_t{0}, axerror::noValue);
}

std::optional<Rect> X11Accessibility::windowFrame(const AXElement& element) {
    const auto [window, error] = clientWindowOf(element);
    if (error != axerror::success) return std::nullopt;
    const std::lock_guard lock(xMutex_);
    return x_.usable() ? readFrame(x_, window) : std::nullopt;
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

AXError X11Accessibility::setWindowAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
    std::optional<Point> position;
    std::optional<Size> size;
    std::optional<bool> minimized;
    if (name == "AXPosition") {
        const auto* point = std::get_if<Point>(&value);
        if (!point || !isFinite(*point)) return axerror::illegalArgument;
        position = *point;
    } else if (name == "AXSize") {
        const auto* sides = std::get_if<Size>(&value);
        if (!sides || !isFinite(*sides)) return axerror::illegalArgument;
        size = *sides;
    } else {
        const auto* flag = std::get_if<bool>(&value);
        if (!flag) return axerror::illegalArgument;
        minimized = *flag;
    }
    auto [window, error] = clientWindowOf(element);
    if (error == axerror::noValue) error = axerror::cannotComplete;
    if (error != axerror::success) return error;

    if (minimized) {
        {
            const std::lock_guard lock(xMutex_);
            if (!x_.usable()) return axerror::cannotComplete;
            if (*minimized) {
                requestMinimize(x_, window);
            } else {
                requestActivation(x_, window, readActiveWindow(x_));
            }
        }
        return waitForWindowManager([&] { return isMinimized(x_, window) == *minimized; }) ? axerror::success
                                                                                           : axerror::cannotComplete;
    }

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

AXError X11Accessibility::setFrontmost(const AXElement& element, const AXValue& value) {
    if (element.kind() != AXElement::Kind::application) return axerror::attributeUnsupported;
    const auto* flag = std::get_if<bool>(&value);
    // An application can be brought forward, not sent back.
    if (!flag || !*flag) return axerror::illegalArgument;
    const auto pid = static_cast<ProcessID>(element.identity());
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

AXError X11Accessibility::raise(const AXElement& element) {
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
