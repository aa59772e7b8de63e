#include "platform/desktop/atspi/atspi_accessibility.hpp"

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "platform/desktop/atspi/atspi_connection.hpp"
#include "platform/desktop/atspi/atspi_status.hpp"
#include "platform/desktop/atspi/atspi_tree.hpp"
#include "platform/desktop/atspi/window_modal_tree.hpp"
#include "platform/desktop/menu_walk.hpp"
#include "platform/desktop/modal_walk.hpp"

namespace zentrabo::platform {
namespace {

// How long the constructor waits for the thread to reach the bus; how long
// and how often a later call waits while it looks for it again. The retry
// comes sooner than the permission monitor's 2 s refresh, so each refresh
// looks.
constexpr auto kStartTimeout = std::chrono::seconds(5);
constexpr auto kBusRetryTimeout = std::chrono::milliseconds(500);
constexpr auto kBusRetryInterval = std::chrono::milliseconds(1500);
// How many call timeouts an application's window listing may take.
constexpr int kWindowListingCalls = 4;

}  // namespace

// Every desktop of the process shares one thread, one tree and one
// connection to the accessibility bus while any of them lives. A bus that
// cannot be reached, or whose connection closed (it ended or restarted), is
// connected to anew, at most once per kBusRetryInterval: one that appears
// later (accessibility switched on after the server started) or comes back
// is found without a restart, and what was found on the old one is invalid.
struct AtspiAccessibility::Bus {
    // What the thread's work uses lives longer than the thread, which ends
    // first. The tree is used on the thread only.
    AtspiTree tree;
    std::mutex mutex;
    std::shared_ptr<AtspiConnection> connection;
    std::chrono::steady_clock::time_point lastAttempt;
    AtspiThread thread{[] {}};

    Bus() { attempt(kStartTimeout); }

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

std::shared_ptr<AtspiAccessibility::Bus> AtspiAccessibility::sharedBus() {
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

AtspiAccessibility::AtspiAccessibility() : bus_(sharedBus()) {}

AtspiAccessibility::~AtspiAccessibility() = default;

AtspiThread& AtspiAccessibility::thread() { return bus_->thread; }
AtspiTree& AtspiAccessibility::tree() { return bus_->tree; }
void AtspiAccessibility::setTreeTimeout(AtspiTree& tree, std::chrono::milliseconds perCall) {
    tree.setTimeout(perCall);
}

bool AtspiAccessibility::isReady() { return bus_->isReady(); }

// The switch is on as assistive tools expect it to be.
bool AtspiAccessibility::isProcessTrusted() { return isReady() && AtspiStatus::session().enabled(); }

// Turning the switch on is what a desktop's accessibility setting does.
bool AtspiAccessibility::requestProcessTrust() { return isReady() && AtspiStatus::session().enable(); }

// Applications that do not listen for the switch decide at their start
// whether to join the bus. The switch itself lives on the session bus: a
// server started outside the session (over ssh, from a service) has none.
std::string AtspiAccessibility::processTrustRequestNote() const {
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

AXElement AtspiAccessibility::systemWideElement() { return AXElement(AXElement::Kind::systemWide, 0); }

AXElement AtspiAccessibility::applicationElement(ProcessID pid) { return AXElement(AXElement::Kind::application, pid); }

AXError AtspiAccessibility::setMessagingTimeout(const AXElement& element, double seconds) {
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

std::chrono::milliseconds AtspiAccessibility::timeoutOf(const AXElement& element) {
    const std::lock_guard lock(mutex_);
    double seconds = defaultMessagingTimeout;
    if (const auto own = timeouts_.find(element); own != timeouts_.end()) {
        seconds = own->second;
    } else if (const auto all = timeouts_.find(systemWideElement()); all != timeouts_.end()) {
        seconds = all->second;
    }
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

AXAttributeResult AtspiAccessibility::copyAttribute(const AXElement& element, const std::string& name) {
    if (!isReady()) return {axerror::apiDisabled, std::nullopt};
    if (name == "AXChildren" && element.kind() == AXElement::Kind::node) return children(element);
    if (name == "AXModal" && element.kind() == AXElement::Kind::node) return modal(element);
    if (name == "AXFocusedUIElement" && element.kind() == AXElement::Kind::systemWide) return focusedElement(element);
    return onTree(element, [element, name](AtspiTree& tree) { return tree.copyAttribute(element, name); })
        .value_or(AXAttributeResult{axerror::cannotComplete, std::nullopt});
}

AXAttributeResult AtspiAccessibility::children(const AXElement& element) {
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

AXError AtspiAccessibility::setAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
    if (!isReady()) return axerror::apiDisabled;
    return onTree(element, [element, name, value](AtspiTree& tree) { return tree.setAttribute(element, name, value); })
        .value_or(axerror::cannotComplete);
}

AXError AtspiAccessibility::performAction(const AXElement& element, const std::string& action) {
    if (!isReady()) return axerror::apiDisabled;
    return onTree(element, [element, action](AtspiTree& tree) { return tree.performAction(element, action); })
        .value_or(axerror::cannotComplete);
}

AXAttributeResult AtspiAccessibility::focusedElement(const AXElement& systemWide) {
    const ProcessID application = focusedApplication();
    if (application <= 0) return {axerror::noValue, std::nullopt};
    return onTree(systemWide, [application = applicationElement(application)](
                                  AtspiTree& tree) { return tree.copyAttribute(application, "AXFocusedUIElement"); })
        .value_or(AXAttributeResult{axerror::cannotComplete, std::nullopt});
}

AXAttributeResult AtspiAccessibility::modal(const AXElement& element) {
    return onTree(element,
                  [element, windowIsModal = windowModality()](AtspiTree& tree) {
                      return WindowModalTree{tree, windowIsModal}.copyAttribute(element, "AXModal");
                  })
        .value_or(AXAttributeResult{axerror::cannotComplete, std::nullopt});
}

template <typename Walk>
auto AtspiAccessibility::treeWork(const MenuReadLimits& limits, Walk walk)
    -> std::optional<decltype(walk(std::declval<AtspiTree&>(), std::chrono::steady_clock::time_point{}))> {
    const auto deadline = std::chrono::steady_clock::now() + limits.inAll;
    return bus_->thread.call(
        [tree = &bus_->tree, walk = std::move(walk), deadline, perCall = limits.perCall] {
            tree->setTimeout(perCall);
            return walk(*tree, deadline);
        },
        limits.inAll + limits.perCall);
}

MenuTreeRead AtspiAccessibility::menuTree(ProcessID application, const MenuReadLimits& limits) {
    MenuTreeRead unread;
    unread.error = axerror::apiDisabled;
    if (!isReady()) return unread;
    unread.error = axerror::cannotComplete;
    return treeWork(limits,
                    [application, limits](AtspiTree& tree, auto deadline) {
                        return readMenuTree(tree, application, limits, deadline);
                    })
        .value_or(std::move(unread));
}

// The chooser is copied into the work, which may outlive the call.
MenuPressResult AtspiAccessibility::pressMenuItem(ProcessID application, std::size_t levels,
                                                  const MenuItemChooser& choose, const MenuReadLimits& limits) {
    using Outcome = MenuPressResult::Outcome;
    if (!isReady()) return {Outcome::menuUnreadable, axerror::apiDisabled, 0};
    return treeWork(limits,
                    [application, levels, choose](AtspiTree& tree, auto deadline) {
                        return pressMenuPath(tree, application, levels, choose, deadline);
                    })
        .value_or(MenuPressResult{Outcome::menuUnreadable, axerror::cannotComplete, 0});
}

std::optional<ModalWindow> AtspiAccessibility::modalWindow(ProcessID application, const MenuReadLimits& limits) {
    if (!isReady()) return std::nullopt;
    return treeWork(limits,
                    [application, windowIsModal = windowModality()](AtspiTree& tree, auto deadline) {
                        WindowModalTree walked{tree, windowIsModal};
                        return readModalWindow(walked, application, deadline);
                    })
        .value_or(std::nullopt);
}

// The chooser is copied into the work, which may outlive the call.
ModalPressResult AtspiAccessibility::pressModalButton(ProcessID application, const ModalButtonChooser& choose,
                                                      const MenuReadLimits& limits) {
    if (!isReady()) return {};
    return treeWork(limits,
                    [application, choose, windowIsModal = windowModality()](AtspiTree& tree, auto deadline) {
                        WindowModalTree walked{tree, windowIsModal};
                        return platform::pressModalButton(walked, application, choose, deadline);
                    })
        .value_or(ModalPressResult{});
}

bool AtspiAccessibility::insertIntoFocusedField(const std::string& text, const MenuReadLimits& limits) {
    if (!isReady()) return false;
    const ProcessID focused = focusedApplication();
    if (focused <= 0) return false;
    return treeWork(limits, [owner = applicationElement(focused), text](
                                AtspiTree& tree, auto) { return platform::insertIntoFocusedField(tree, owner, text); })
        .value_or(false);
}

std::vector<ListedAccessibleWindow> AtspiAccessibility::listedWindows(ProcessID application) {
    const AXElement element = applicationElement(application);
    // The listing, then each window's role, name, place and states: a
    // responsive application answers them all well within this, and one
    // that stops answering gives up the list after a few timeouts.
    auto listed = onTree(
        element, [application](AtspiTree& tree) { return tree.applicationWindows(application); },
        timeoutOf(element) * kWindowListingCalls);
    return listed ? std::move(*listed) : std::vector<ListedAccessibleWindow>{};
}

std::pair<std::optional<AccessibleWindow>, AXError> AtspiAccessibility::accessibleWindow(const AXElement& window) {
    const auto lookup = onTree(window, [window](AtspiTree& tree) { return tree.windowOf(window); });
    if (!lookup) return {std::nullopt, axerror::cannotComplete};
    if (lookup->error != axerror::success) return {std::nullopt, lookup->error};
    return {lookup->window, axerror::success};
}

}  // namespace zentrabo::platform
