#include "platform/desktop/gnome/gnome_accessibility.hpp"

#include <algorithm>
#include <cmath>

#include "platform/desktop/atspi/atspi_tree.hpp"

namespace zentrabo::platform {
namespace {

// mutter's type for a dialog that blocks its parent.
constexpr std::uint32_t kModalDialogType = 4;

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

}  // namespace zentrabo::platform
