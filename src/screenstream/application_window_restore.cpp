#include "screenstream/application_window_restore.hpp"

#include "maccontrol/timed_application_windows.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "model/diagnostic_log.hpp"
#include "screenstream/accessibility_error_description.hpp"

namespace zentrabo {

namespace {

constexpr double messagingTimeout = DesktopController::accessibilityMessagingTimeout;

}  // namespace

void restoreMinimizedWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility) {
    for (const auto& window :
         timedApplicationWindows(accessibility, application.processIdentifier(), messagingTimeout)) {
        if (!window.minimized) continue;
        const platform::AXError error = accessibility.setWindowMinimized(window.handle, false);
        if (error != platform::axerror::success) {
            ZENTRABO_LOG("Screen stream app window restore failed: " + accessibilityErrorDescription(error));
        }
        // Raised even when the restore failed: it may still bring it forward.
        accessibility.raiseWindow(window.handle);
    }
}

void raiseApplicationWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility) {
    const platform::ProcessID pid = application.processIdentifier();
    accessibility.setMessagingTimeout(accessibility.applicationElement(pid), messagingTimeout);
    accessibility.bringApplicationForward(pid);
    auto shown = timedApplicationWindows(accessibility, application.processIdentifier(), messagingTimeout);
    std::erase_if(shown, [](const platform::ApplicationWindow& window) { return window.minimized; });
    // Back to front, so that the first window of the list ends on top.
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) accessibility.raiseWindow(it->handle);
    accessibility.bringApplicationForward(pid);
}

}  // namespace zentrabo
