// Finding, launching and raising applications.
#include "maccontrol/timed_application_windows.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "maccontrol/run_loop_wait.hpp"
#include "platform/desktop/application_identifier.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::ApplicationWindow;
using platform::AXElement;
using platform::RunningApplication;

namespace {

// A launched application has this long to appear among the running ones.
constexpr PollLimits launchPoll{.timeout = 3.0, .step = 0.05};
// An application brought forward has this long to reach the front.
constexpr PollLimits frontmostPoll{.timeout = 0.35, .step = 0.03};

}  // namespace

std::shared_ptr<RunningApplication> DesktopController::runningApplication(const std::string& bundleIdentifier) {
    for (auto& application : desktop_.workspace().runningApplications()) {
        if (platform::identifierAnswers(application->bundleIdentifier(), bundleIdentifier)) return application;
    }
    return nullptr;
}

std::shared_ptr<RunningApplication> DesktopController::namedOrFrontmostApplication(
    const std::optional<std::string>& bundleIdentifier) {
    if (bundleIdentifier && !platform::isBlank(*bundleIdentifier)) {
        if (auto application = runningApplication(*bundleIdentifier)) return application;
        throw MacMenuError(Case::applicationNotRunning);
    }
    return targetApplication(bundleIdentifier);
}

std::shared_ptr<RunningApplication> DesktopController::activateApplication(
    const std::optional<std::string>& bundleIdentifier) {
    if (!bundleIdentifier) return targetApplication(std::nullopt);
    if (auto application = runningApplication(*bundleIdentifier)) return application;
    auto& workspace = desktop_.workspace();

    const auto url = workspace.urlForApplication(*bundleIdentifier);
    if (!url) throw MacMenuError(Case::applicationNotFound, *bundleIdentifier);
    if (!workspace.openApplication(*url, true).ok) throw MacMenuError(Case::applicationNotFound, *bundleIdentifier);

    std::shared_ptr<RunningApplication> launched;
    pollUntil(desktop_.clock(), launchPoll,
              [&] { return (launched = runningApplication(*bundleIdentifier)) != nullptr; });
    if (!launched) throw MacMenuError(Case::applicationNotRunning);
    return launched;
}

bool DesktopController::isFrontmost(const RunningApplication& application) {
    const auto frontmost = desktop_.workspace().frontmostApplication();
    return frontmost && frontmost->processIdentifier() == application.processIdentifier();
}

void DesktopController::waitUntilFrontmost(const RunningApplication& application) {
    pollUntil(desktop_.clock(), frontmostPoll, [&] { return isFrontmost(application); });
}

std::vector<ApplicationWindow> DesktopController::shownWindows(const RunningApplication& application) {
    auto windows = timedApplicationWindows(desktop_.accessibility(), application.processIdentifier(),
                                           accessibilityMessagingTimeout);
    std::erase_if(windows, [](const ApplicationWindow& window) { return window.minimized; });
    return windows;
}

void DesktopController::bringForward(RunningApplication& application, bool allWindows) {
    applicationElement(application);
    application.activate(allWindows);
    desktop_.accessibility().bringApplicationForward(application.processIdentifier());
    waitUntilFrontmost(application);
}

void DesktopController::raiseApplication(RunningApplication& application, bool allWindows) {
    if (application.isTerminated() || isFrontmost(application)) return;
    // Raising is best effort: no result below is checked.
    bringForward(application, allWindows);
    if (!allWindows) return;

    const auto windows = shownWindows(application);
    // Back to front, so that the first window of the list ends on top.
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) desktop_.accessibility().raiseWindow(it->handle);

    if (!isFrontmost(application)) bringForward(application, allWindows);
}

}  // namespace zentrabo
