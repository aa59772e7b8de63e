#include "screenstream/application_window_selection.hpp"

#include <algorithm>
#include <optional>

#include "model/diagnostic_log.hpp"
#include "platform/desktop/application_identifier.hpp"
#include "platform/text/log_escape.hpp"
#include "platform/text/trim.hpp"
#include "screenstream/application_window_choice.hpp"
#include "screenstream/application_window_restore.hpp"
#include "screenstream/capture_geometry.hpp"
#include "screenstream/remote_screen_stream_server_error.hpp"
#include "screenstream/shareable_content.hpp"

namespace zentrabo {

namespace {

constexpr const char* unnamedApplication = "The selected app";

std::shared_ptr<platform::RunningApplication> firstRunning(platform::Workspace& workspace,
                                                           const std::string& bundleIdentifier) {
    for (auto& application : workspace.runningApplications()) {
        if (platform::identifierAnswers(application->bundleIdentifier(), bundleIdentifier)) return application;
    }
    return nullptr;
}

void logOpenFailure(const char* what, const std::string& bundleIdentifier, const platform::OpenResult& result) {
    ZENTRABO_LOG(std::string("Screen stream app ") + what + " failed for " + platform::escapeForLog(bundleIdentifier) +
                 ": " + platform::escapeForLog(result.error));
}

// Unhidden, in front with all its windows, and with trust its minimized
// windows restored and the others raised.
void bringForward(platform::RunningApplication& application, platform::Desktop& desktop) {
    application.unhide();
    application.activate(true);
    auto& accessibility = desktop.accessibility();
    if (!accessibility.isProcessTrusted()) return;
    restoreMinimizedWindows(application, accessibility);
    raiseApplicationWindows(application, accessibility);
}

// The display the window is on among the shareable ones: the one the
// desktop places it on, else the one it overlaps most (the first on ties).
std::optional<platform::DisplayID> shareableDisplayOf(const platform::ShareableWindow& window,
                                                      const platform::ShareableContent& content,
                                                      platform::Displays& displays) {
    const auto placed = displayID(window.frame, displays);
    const auto has = [&content](platform::DisplayID id) {
        return std::any_of(content.displays.begin(), content.displays.end(),
                           [id](const platform::ShareableDisplay& display) { return display.displayID == id; });
    };
    if (placed && has(*placed)) return placed;
    const platform::ShareableDisplay* best = nullptr;
    for (const auto& display : content.displays) {
        if (!best || display.frame.overlapArea(window.frame) > best->frame.overlapArea(window.frame)) best = &display;
    }
    return best ? std::optional(best->displayID) : std::nullopt;
}

// The application's own sound: its windows on the window's display. The
// chosen window is always one of the application's own.
std::optional<platform::ContentFilter> applicationAudioFilter(const platform::ShareableWindow& window,
                                                              const platform::RunningApplication& application,
                                                              const platform::ShareableContent& content,
                                                              platform::Displays& displays) {
    const auto display = shareableDisplayOf(window, content, displays);
    if (!display) return std::nullopt;
    return platform::ApplicationContentFilter{*display, application.processIdentifier()};
}

}  // namespace

asio::awaitable<std::shared_ptr<platform::RunningApplication>> requestedRunningApplication(
    const std::string& bundleIdentifier, const std::string& lookupName, platform::Desktop& desktop,
    platform::Clock& clock) {
    auto& workspace = desktop.workspace();
    if (auto running = firstRunning(workspace, bundleIdentifier)) co_return running;
    const auto location = workspace.urlForApplication(bundleIdentifier);
    if (!location) throw RemoteScreenStreamServerError::applicationWindowUnavailable(lookupName);
    const platform::OpenResult opened = workspace.openApplication(*location, true);
    // A failed open may still have started the application: the wait decides.
    if (!opened.ok) logOpenFailure("launch", bundleIdentifier, opened);
    const double deadline = clock.monotonicNow() + ApplicationWindowTiming::launchTimeout;
    for (;;) {
        if (!(clock.monotonicNow() < deadline)) {
            throw RemoteScreenStreamServerError::applicationWindowUnavailable(lookupName);
        }
        if (auto running = firstRunning(workspace, bundleIdentifier)) co_return running;
        // Only a cancellation ends this wait early, and it ends the launch
        // wait with it rather than letting the loop spin to its deadline.
        co_await clock.delay(ApplicationWindowTiming::launchPollInterval);
    }
}

void requestApplicationReopen(const platform::RunningApplication& application, platform::Workspace& workspace) {
    const auto bundleIdentifier = application.bundleIdentifier();
    if (!bundleIdentifier) return;
    const auto location = workspace.urlForApplication(*bundleIdentifier);
    if (!location) return;
    // Opening an application that runs asks it to reopen.
    const platform::OpenResult opened = workspace.openApplication(*location, true);
    if (!opened.ok) logOpenFailure("reopen", *bundleIdentifier, opened);
}

asio::awaitable<SelectedContent> applicationWindowSelection(const RemoteScreenStreamRequest& request,
                                                            platform::Desktop& desktop, platform::Clock& clock) {
    const auto requestedName = platform::trimmedNonBlank(request.applicationName);
    const auto bundleIdentifier = platform::trimmedNonBlank(request.applicationBundleIdentifier);
    if (!bundleIdentifier) {
        throw RemoteScreenStreamServerError::applicationWindowUnavailable(requestedName.value_or(unnamedApplication));
    }
    const auto application = co_await requestedRunningApplication(
        *bundleIdentifier, requestedName.value_or(*bundleIdentifier), desktop, clock);
    const std::string displayName =
        requestedName.value_or(platform::trimmedNonBlank(application->localizedName()).value_or(*bundleIdentifier));

    bringForward(*application, desktop);
    requestApplicationReopen(*application, desktop.workspace());
    application->activate(true);

    for (int attempt = 0;; ++attempt) {
        const auto content = currentShareableContent(desktop.screenCapture());
        if (const auto window = bestApplicationWindow(*application, request.applicationWindowID, content, request,
                                                      desktop.windowServer())) {
            co_return windowContent(*window, applicationAudioFilter(*window, *application, content, desktop.displays()),
                                    desktop);
        }
        // The application may still be opening its windows: the second look
        // asks it to reopen one, the later ones bring it forward again.
        if (attempt == 1) {
            requestApplicationReopen(*application, desktop.workspace());
        } else if (attempt >= 2) {
            bringForward(*application, desktop);
            application->activate(true);
        }
        if (attempt + 1 == ApplicationWindowTiming::windowLookCount) {
            throw RemoteScreenStreamServerError::applicationWindowUnavailable(displayName);
        }
        co_await clock.delay(ApplicationWindowTiming::windowLookInterval);
    }
}

}  // namespace zentrabo
