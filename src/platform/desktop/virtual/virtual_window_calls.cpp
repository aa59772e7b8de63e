// The virtual desktop's windows as accessibility reaches them: its model's
// own windows, checked and timed as any element is.
#include <algorithm>
#include <cmath>

#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

namespace {

std::string describe(const Point& point) {
    return "(" + std::to_string(std::lround(point.x)) + ", " + std::to_string(std::lround(point.y)) + ")";
}

std::string describe(const Size& size) {
    return std::to_string(std::lround(size.width)) + "x" + std::to_string(std::lround(size.height));
}

}  // namespace

template <typename Change>
AXError VirtualDesktop::onWindow(const AXElement& element, Change change) {
    double block = 0;
    AXError error = axerror::success;
    {
        auto lock = settle();
        const auto target = checkElementLocked(element);
        block = target.blockSeconds;
        error = target.error;
        if (error == axerror::success) {
            const Node* node = element.kind() == AXElement::Kind::node ? &nodes_.at(element.identity()) : nullptr;
            error = node && node->window ? change(*node, windows_.at(node->window)) : axerror::attributeUnsupported;
        }
    }
    // An application that does not answer holds the caller for the timeout.
    if (block > 0) clock_.sleep(block);
    return error;
}

std::vector<ApplicationWindow> VirtualDesktop::applicationWindows(ProcessID pid) {
    double block = 0;
    std::vector<ApplicationWindow> listed;
    {
        auto lock = settle();
        const auto target = checkElementLocked(applicationElement(pid));
        block = target.blockSeconds;
        if (target.error == axerror::success) {
            for (const auto number : applicationLocked(pid)->windows) {
                const auto& window = windows_.at(number);
                // The first one shown has the focus, as the model raises it there.
                const bool focused = !window.minimized && std::none_of(listed.begin(), listed.end(),
                                                                       [](const auto& w) { return w.focused; });
                listed.push_back({AXElement(AXElement::Kind::node, window.node), window.number, window.title,
                                  window.frame, window.minimized, focused});
            }
        }
    }
    if (block > 0) clock_.sleep(block);
    return listed;
}

std::optional<Rect> VirtualDesktop::windowFrame(const AXElement& window) {
    std::optional<Rect> frame;
    onWindow(window, [&](const Node&, Window& shown) {
        frame = shown.frame;
        return axerror::success;
    });
    return frame;
}

AXError VirtualDesktop::setWindowPosition(const AXElement& window, const Point& origin) {
    if (!std::isfinite(origin.x) || !std::isfinite(origin.y)) return axerror::illegalArgument;
    return onWindow(window, [&](const Node& node, Window& shown) {
        noteFrameChangeLocked(shown);
        shown.frame.x = origin.x;
        shown.frame.y = origin.y;
        recordLocked("setWindow", applicationLocked(node.owner)->spec.bundleIdentifier,
                     elementPathLocked(node.id) + " position = " + describe(origin));
        return axerror::success;
    });
}

AXError VirtualDesktop::setWindowSize(const AXElement& window, const Size& size) {
    if (!std::isfinite(size.width) || !std::isfinite(size.height)) return axerror::illegalArgument;
    return onWindow(window, [&](const Node& node, Window& shown) {
        if (!shown.resizable) return axerror::attributeUnsupported;
        noteFrameChangeLocked(shown);
        shown.frame.width = std::max(size.width, shown.minimumSize.width);
        shown.frame.height = std::max(size.height, shown.minimumSize.height);
        recordLocked("setWindow", applicationLocked(node.owner)->spec.bundleIdentifier,
                     elementPathLocked(node.id) + " size = " + describe(size));
        return axerror::success;
    });
}

AXError VirtualDesktop::setWindowMinimized(const AXElement& window, bool minimized) {
    return onWindow(window, [&](const Node& node, Window& shown) {
        shown.minimized = minimized;
        recordLocked("setWindow", applicationLocked(node.owner)->spec.bundleIdentifier,
                     elementPathLocked(node.id) + " minimized = " + (minimized ? "true" : "false"));
        return axerror::success;
    });
}

AXError VirtualDesktop::raiseWindow(const AXElement& window) {
    return onWindow(window, [&](const Node& node, Window& shown) {
        auto& application = *applicationLocked(node.owner);
        recordLocked("raise", application.spec.bundleIdentifier, elementPathLocked(node.id));
        raiseWindowLocked(application, shown.number);
        return axerror::success;
    });
}

AXError VirtualDesktop::bringApplicationForward(ProcessID pid) {
    double block = 0;
    AXError error = axerror::success;
    {
        auto lock = settle();
        const auto target = checkElementLocked(applicationElement(pid));
        block = target.blockSeconds;
        error = target.error;
        if (error == axerror::success) {
            auto& application = *applicationLocked(pid);
            activateLocked(application, false);
            recordLocked("bringForward", application.spec.bundleIdentifier);
        }
    }
    if (block > 0) clock_.sleep(block);
    return error;
}

}  // namespace zentrabo::platform
