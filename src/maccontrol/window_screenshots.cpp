// Screenshots of one window: the frontmost application's, or one of a chosen
// application's; and the preview of what a screen stream would show.
#include <algorithm>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "maccontrol/run_loop_wait.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::RunningApplication;
using platform::WindowID;

namespace {

// How long the run loop turns after a window's application was brought
// forward, so its windows are drawn in front before the capture.
constexpr double settleAfterRaise = 0.12;

}  // namespace

RemoteScreenshot DesktopController::windowScreenshot(WindowID window, const std::string& applicationName) {
    const auto image = desktop_.screenCapture().windowImage(window);
    if (!image) throw MacMenuError(Case::screenshotCaptureFailed);
    return encodeScreenshot(platform::rowsOf(*image), applicationName + " Window", "window-" + applicationName);
}

RemoteScreenshot DesktopController::frontmostWindowScreenshot() {
    requireScreenCaptureAccess();
    const auto application = desktop_.workspace().frontmostApplication();
    if (!application) throw MacMenuError(Case::noFrontmostApplication);
    std::string name = "Current App";
    if (auto localized = application->localizedName(); localized && !localized->empty()) {
        name = std::move(*localized);
    } else if (auto bundleIdentifier = application->bundleIdentifier()) {
        name = std::move(*bundleIdentifier);
    }
    const auto window = frontWindowNumber(*application);
    if (!window) throw MacMenuError(Case::screenshotWindowUnavailable, name);
    return windowScreenshot(*window, name);
}

std::shared_ptr<RunningApplication> DesktopController::windowScreenshotApplication(
    const std::optional<std::string>& bundleIdentifier, bool activates) {
    // Workflows pass the identifier as typed, spaces and all.
    const auto identifier = platform::trimmedNonBlank(bundleIdentifier);
    if (!identifier) {
        auto frontmost = desktop_.workspace().frontmostApplication();
        if (!frontmost) throw MacMenuError(Case::noFrontmostApplication);
        return frontmost;
    }
    if (!activates) {
        auto running = runningApplication(*identifier);
        if (!running) throw MacMenuError(Case::applicationNotRunning);
        return running;
    }
    auto application = activateApplication(*identifier);
    application->unhide();
    raiseApplication(*application, true);
    runLoopFor(desktop_.clock(), settleAfterRaise);
    return application;
}

RemoteScreenshot DesktopController::applicationWindowScreenshot(const std::optional<std::string>& bundleIdentifier,
                                                                const std::optional<std::string>& applicationName,
                                                                const std::optional<WindowID>& windowID,
                                                                const std::optional<std::string>& windowTitle,
                                                                const std::optional<MenuTitleMatchMode>& titleMatchMode,
                                                                bool activates) {
    requireScreenCaptureAccess();
    const auto application = windowScreenshotApplication(bundleIdentifier, activates);
    const std::string name = platform::trimmedNonBlank(applicationName)
                                 .value_or(platform::trimmedNonBlank(application->localizedName())
                                               .value_or(application->bundleIdentifier().value_or("App")));

    const auto candidates = candidateWindows(*application);
    std::optional<WindowID> window;
    if (windowID) {
        const auto found = std::find_if(candidates.begin(), candidates.end(),
                                        [&](const auto& candidate) { return candidate.id == *windowID; });
        if (found != candidates.end()) window = windowID;
    }
    if (!window)
        window = matchingWindowNumber(windowTitle, titleMatchMode.value_or(MenuTitleMatchMode::exact), candidates);
    if (!window) window = frontWindowNumber(*application);
    if (!window && !candidates.empty()) window = candidates.front().id;
    if (!window) throw MacMenuError(Case::screenshotWindowUnavailable, name);
    return windowScreenshot(*window, name);
}

RemoteScreenshot DesktopController::screenStreamPreviewScreenshot(const RemoteScreenStreamRequest& request) {
    switch (request.mode) {
    case RemoteScreenStreamMode::display:
        return displayScreenshot(request.displayID, request.displayName, false);
    case RemoteScreenStreamMode::frontmostWindow:
        // A locked stream shows its own application's window, not whichever
        // is in front.
        if (request.windowTrackingMode == RemoteScreenStreamWindowTrackingMode::locked &&
            platform::trimmedNonBlank(request.applicationBundleIdentifier)) {
            return applicationWindowScreenshot(request.applicationBundleIdentifier, request.applicationName,
                                               std::nullopt, std::nullopt, std::nullopt, false);
        }
        return frontmostWindowScreenshot();
    case RemoteScreenStreamMode::applicationWindow:
        break;
    }
    return applicationWindowScreenshot(request.applicationBundleIdentifier, request.applicationName,
                                       request.applicationWindowID, request.applicationWindowTitle,
                                       request.applicationWindowTitleMatchMode, false);
}

}  // namespace zentrabo
