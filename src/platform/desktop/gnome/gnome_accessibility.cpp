#include "platform/desktop/gnome/gnome_accessibility.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "platform/desktop/atspi/atspi_tree.hpp"

namespace zentrabo::platform {
namespace {

// mutter's type for a dialog that blocks its parent.
constexpr std::uint32_t kModalDialogType = 4;

// How often the shell's record is read while a change is waited for, and
// how many equal reads count as the frame it settled on.
constexpr auto kPollInterval = std::chrono::milliseconds(20);
constexpr int kSettledPolls = 4;

bool near(double a, double b) { return std::fabs(a - b) < 0.5; }
bool samePlace(const Rect& a, const Rect& b) { return near(a.x, b.x) && near(a.y, b.y); }
bool sameSize(const Rect& a, const Rect& b) { return near(a.width, b.width) && near(a.height, b.height); }

}  // namespace

const ShellWindow* shellWindowOf(const std::vector<ShellWindow>& windows, const AccessibleWindow& accessible) {
    const ShellWindow* best = nullptr;
    int bestScore = -1;
    for (const auto& window : windows) {
        if (window.pid != accessible.pid) continue;
        const int score = (window.title == accessible.title ? 2 : 0) +
                          (sameSize(window.frame, accessible.frame) || sameSize(window.buffer, accessible.frame));
        if (score > bestScore) {
            best = &window;
            bestScore = score;
        }
    }
    return best;
}

// A window at the screen's corner reports the same either way, so adding
// nothing there is right for both kinds of client.
Point surfaceOffset(const ShellWindow& window, const AccessibleWindow& accessible) {
    const bool atCorner = near(accessible.frame.x, 0) && near(accessible.frame.y, 0);
    if (!atCorner && (samePlace(accessible.frame, window.frame) || samePlace(accessible.frame, window.buffer))) {
        return {0, 0};
    }
    const Rect& surface = sameSize(accessible.frame, window.frame) ? window.frame : window.buffer;
    return surface.origin();
}

GnomeAccessibility::GnomeAccessibility(std::shared_ptr<ShellWindows> windows) : windows_(std::move(windows)) {}

AXAttributeResult GnomeAccessibility::copyAttribute(const AXElement& element, const std::string& name) {
    if (!isReady()) return {axerror::apiDisabled, std::nullopt};
    if (element.kind() == AXElement::Kind::node && name == "AXPosition") return position(element);
    return AtspiAccessibility::copyAttribute(element, name);
}

ProcessID GnomeAccessibility::focusedApplication() {
    const ShellWindowID focused = windows_->focusedWindow();
    const auto windows = focused ? windows_->windows() : std::nullopt;
    if (!windows) return 0;
    const auto window = std::find_if(windows->begin(), windows->end(),
                                     [focused](const ShellWindow& shown) { return shown.id == focused; });
    return window != windows->end() ? window->pid : 0;
}

AXAttributeResult GnomeAccessibility::position(const AXElement& element) {
    auto answer = onTree(element, [element](AtspiTree& tree) {
        auto place = tree.copyAttribute(element, "AXPosition");
        std::optional<AtspiTree::WindowLookup> window;
        if (place.error == axerror::success) window = tree.windowAround(element);
        return std::pair(std::move(place), std::move(window));
    });
    if (!answer) return {axerror::cannotComplete, std::nullopt};
    auto& [place, window] = *answer;
    const Point* reported = place.value ? std::get_if<Point>(&*place.value) : nullptr;
    if (!reported) return std::move(place);
    // Without its window's place the element's cannot be told.
    if (!window || window->error != axerror::success) return {axerror::cannotComplete, std::nullopt};
    const auto windows = windows_->windows();
    const ShellWindow* shown = windows ? shellWindowOf(*windows, window->window) : nullptr;
    if (!shown) return {axerror::cannotComplete, std::nullopt};
    const Point offset = surfaceOffset(*shown, window->window);
    return {axerror::success, Point{reported->x + offset.x, reported->y + offset.y}};
}

AtspiAccessibility::WindowModality GnomeAccessibility::windowModality() {
    return [windows = windows_](const AccessibleWindow& accessible) {
        const auto shown = windows->windows();
        const ShellWindow* window = shown ? shellWindowOf(*shown, accessible) : nullptr;
        return window && window->type == kModalDialogType;
    };
}

std::vector<ApplicationWindow> GnomeAccessibility::applicationWindows(ProcessID application) {
    if (!isReady()) return {};
    const auto listed = listedWindows(application);
    const auto shown = listed.empty() ? std::nullopt : windows_->windows();
    std::vector<ApplicationWindow> windows;
    windows.reserve(listed.size());
    for (const auto& entry : listed) {
        ApplicationWindow& window = windows.emplace_back(entry.described());
        if (!entry.window) continue;
        const ShellWindow* shell = shown ? shellWindowOf(*shown, *entry.window) : nullptr;
        if (!shell) continue;
        if (shell->id <= std::numeric_limits<WindowID>::max()) window.number = static_cast<WindowID>(shell->id);
        window.frame = shell->frame;
        window.minimized = shell->minimized;
    }
    return windows;
}

std::pair<std::optional<ShellWindow>, AXError> GnomeAccessibility::shellWindowFor(const AXElement& window) {
    if (!isReady()) return {std::nullopt, axerror::apiDisabled};
    const auto [accessible, error] = accessibleWindow(window);
    if (!accessible) return {std::nullopt, error};
    const auto windows = windows_->windows();
    const ShellWindow* shown = windows ? shellWindowOf(*windows, *accessible) : nullptr;
    if (!shown) return {std::nullopt, axerror::cannotComplete};
    return {*shown, axerror::success};
}

std::optional<Rect> GnomeAccessibility::windowFrame(const AXElement& window) {
    const auto shown = shellWindowFor(window).first;
    return shown ? std::optional(shown->frame) : std::nullopt;
}

bool GnomeAccessibility::waitForShell(ShellWindowID window, const std::function<bool(const ShellWindow&)>& condition) {
    const auto end = std::chrono::steady_clock::now() + shellWait;
    for (;;) {
        if (const auto windows = windows_->windows()) {
            const auto shown = std::find_if(windows->begin(), windows->end(),
                                            [window](const ShellWindow& listed) { return listed.id == window; });
            // A window that went away has nothing left to wait for.
            if (shown == windows->end() || condition(*shown)) return shown != windows->end();
        }
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(kPollInterval);
    }
}

AXError GnomeAccessibility::moveResize(const AXElement& window, const std::function<Rect(const Rect&)>& frameFrom) {
    const auto [shown, error] = shellWindowFor(window);
    if (!shown) return error == axerror::noValue ? axerror::cannotComplete : error;
    const Rect wanted = frameFrom(shown->frame);
    if (!windows_->moveResize(shown->id, wanted)) return axerror::cannotComplete;
    // Done when the frame is the one asked for, or when the client (within
    // its size limits) settled on another.
    std::optional<Rect> last = shown->frame;
    int unchanged = 0;
    waitForShell(shown->id, [&](const ShellWindow& now) {
        if (samePlace(now.frame, wanted) && sameSize(now.frame, wanted)) return true;
        unchanged = now.frame == last ? unchanged + 1 : 0;
        last = now.frame;
        return now.frame != shown->frame && unchanged >= kSettledPolls;
    });
    // A frame kept within the window's limits still answers success: the
    // callers read the frame back.
    return axerror::success;
}

AXError GnomeAccessibility::setWindowPosition(const AXElement& window, const Point& origin) {
    if (!std::isfinite(origin.x) || !std::isfinite(origin.y)) return axerror::illegalArgument;
    return moveResize(window, [&](const Rect& frame) { return Rect{origin.x, origin.y, frame.width, frame.height}; });
}

AXError GnomeAccessibility::setWindowSize(const AXElement& window, const Size& size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return axerror::illegalArgument;
    return moveResize(window, [&](const Rect& frame) { return Rect{frame.x, frame.y, size.width, size.height}; });
}

AXError GnomeAccessibility::setWindowMinimized(const AXElement& window, bool minimized) {
    const auto [shown, error] = shellWindowFor(window);
    if (!shown) return error == axerror::noValue ? axerror::cannotComplete : error;
    if (!(minimized ? windows_->minimize(shown->id) : windows_->unminimize(shown->id))) return axerror::cannotComplete;
    return waitForShell(shown->id, [minimized](const ShellWindow& now) { return now.minimized == minimized; })
               ? axerror::success
               : axerror::cannotComplete;
}

AXError GnomeAccessibility::raiseWindow(const AXElement& window) {
    const auto [shown, error] = shellWindowFor(window);
    if (error == axerror::attributeUnsupported) return axerror::actionUnsupported;
    if (!shown) return error == axerror::noValue ? axerror::cannotComplete : error;
    if (!windows_->activate(shown->id)) return axerror::cannotComplete;
    // Input posted right after goes to the window, or to the modal dialog
    // over it that the shell focuses instead.
    return waitForShell(shown->id,
                        [this, &shown](const ShellWindow&) {
                            const ShellWindowID focused = windows_->focusedWindow();
                            if (focused == shown->id) return true;
                            const auto windows = windows_->windows();
                            return windows && std::any_of(windows->begin(), windows->end(), [&](const ShellWindow& w) {
                                       return w.id == focused && w.pid == shown->pid && w.type == kModalDialogType;
                                   });
                        })
               ? axerror::success
               : axerror::cannotComplete;
}

AXError GnomeAccessibility::bringApplicationForward(ProcessID application) {
    if (!isReady()) return axerror::apiDisabled;
    const auto windows = windows_->windows();
    if (!windows) return axerror::cannotComplete;
    // Its frontmost shown window; one that is minimized stays so.
    const auto front = std::find_if(windows->begin(), windows->end(), [application](const ShellWindow& window) {
        return window.pid == application && !window.minimized && window.isApplicationWindow();
    });
    if (front == windows->end() || !windows_->activate(front->id)) return axerror::cannotComplete;
    return axerror::success;
}

}  // namespace zentrabo::platform
