// The application and the accessibility window of the streamed content,
// which input focusing and window resizing act on.
#include "screenstream/streamed_window.hpp"

#include <algorithm>
#include <cmath>

#include "platform/text/trim.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/remote_screen_stream_session.hpp"

namespace zentrabo {

namespace {

constexpr const char* windowGoneMessage = "The streamed window is no longer available.";

// The process that owns the window, from the window server's entry for it.
std::optional<platform::ProcessID> windowOwnerProcessID(platform::WindowServer& windowServer,
                                                        platform::WindowID windowID) {
    const auto window = platform::listedWindow(windowServer, windowID);
    if (!window || window->ownerPID <= 0) return std::nullopt;
    return window->ownerPID;
}

// The frame when both its sides are positive.
std::optional<platform::Rect> usableFrame(const std::optional<platform::Rect>& frame) {
    if (!frame || !(frame->width > 0) || !(frame->height > 0)) return std::nullopt;
    return frame;
}

double frameDistance(const platform::Rect& a, const platform::Rect& b) {
    return std::fabs(a.midX() - b.midX()) + std::fabs(a.midY() - b.midY()) + std::fabs(a.width - b.width) +
           std::fabs(a.height - b.height);
}

}  // namespace

std::optional<platform::Rect> accessibilityWindowFrame(platform::Accessibility& accessibility,
                                                       const platform::AXElement& window) {
    accessibility.setMessagingTimeout(window, DesktopController::accessibilityMessagingTimeout);
    return usableFrame(accessibility.windowFrame(window));
}

std::shared_ptr<platform::RunningApplication> streamedApplication(RemoteScreenStreamSession& session) {
    auto& desktop = session.desktop();
    auto& workspace = desktop.workspace();
    switch (session.request().mode) {
    case RemoteScreenStreamMode::display:
        throw RemoteScreenStreamServerError::windowResizeUnavailable(
            RemoteScreenStreamSession::displayStreamResizeMessage);
    case RemoteScreenStreamMode::frontmostWindow: {
        if (const auto windowID = session.selection().windowID()) {
            if (const auto owner = windowOwnerProcessID(desktop.windowServer(), *windowID)) {
                for (const auto& application : workspace.runningApplications()) {
                    if (application->processIdentifier() == *owner) return application;
                }
            }
        }
        if (auto frontmost = workspace.frontmostApplication()) return frontmost;
        break;
    }
    case RemoteScreenStreamMode::applicationWindow: {
        const auto bundleIdentifier = platform::trimmedNonBlank(session.request().applicationBundleIdentifier);
        if (!bundleIdentifier) break;
        if (auto application = session.environment().desktopController.runningApplication(*bundleIdentifier))
            return application;
        break;
    }
    }
    throw RemoteScreenStreamServerError::windowResizeUnavailable(windowGoneMessage);
}

platform::ApplicationWindow resizableWindow(RemoteScreenStreamSession& session,
                                            const platform::RunningApplication& application,
                                            platform::WindowID windowID, const std::optional<platform::Rect>& frame) {
    const auto windows = session.environment().desktopController.shownWindows(application);
    if (windows.empty()) {
        throw RemoteScreenStreamServerError::windowResizeUnavailable(
            "The streamed app does not expose a resizable window.");
    }
    for (const auto& window : windows) {
        if (window.number == windowID) return window;
    }
    if (frame) {
        const platform::ApplicationWindow* nearest = nullptr;
        double nearestDistance = 0;
        for (const auto& window : windows) {
            const auto windowFrame = usableFrame(window.frame);
            if (!windowFrame) continue;
            const double distance = frameDistance(*windowFrame, *frame);
            if (!nearest || distance < nearestDistance) {
                nearest = &window;
                nearestDistance = distance;
            }
        }
        if (nearest) return *nearest;
    }
    const auto focused = std::find_if(windows.begin(), windows.end(), [](const platform::ApplicationWindow& window) {
        return window.focused && usableFrame(window.frame);
    });
    return focused != windows.end() ? *focused : windows.front();
}

}  // namespace zentrabo
