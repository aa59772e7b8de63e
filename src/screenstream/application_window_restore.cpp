#include "screenstream/application_window_restore.hpp"

#include "maccontrol/accessibility_value.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "model/diagnostic_log.hpp"
#include "screenstream/accessibility_error_description.hpp"

namespace zentrabo {

namespace {

constexpr double messagingTimeout = DesktopController::accessibilityMessagingTimeout;

platform::AXElement applicationElement(const platform::RunningApplication& application,
                                       platform::Accessibility& accessibility) {
    const platform::AXElement element = accessibility.applicationElement(application.processIdentifier());
    accessibility.setMessagingTimeout(element, messagingTimeout);
    return element;
}

// Only a definite "true" counts: an unreadable state is not minimized.
bool readsAsMinimized(platform::Accessibility& accessibility, const platform::AXElement& window) {
    return readAccessibilityValue<bool>(accessibility, window, "AXMinimized", messagingTimeout) == true;
}

}  // namespace

std::vector<platform::AXElement> axElementArray(platform::Accessibility& accessibility,
                                                const platform::AXElement& element, const std::string& attribute) {
    return accessibilityValue<std::vector<platform::AXElement>>(accessibility.copyAttribute(element, attribute))
        .value_or(std::vector<platform::AXElement>{});
}

void restoreMinimizedWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility) {
    const platform::AXElement element = applicationElement(application, accessibility);
    for (const auto& window : axElementArray(accessibility, element, "AXWindows")) {
        if (!readsAsMinimized(accessibility, window)) continue;
        const platform::AXError error = accessibility.setAttribute(window, "AXMinimized", false);
        if (error != platform::axerror::success) {
            ZENTRABO_LOG("Screen stream app window restore failed: " + accessibilityErrorDescription(error));
        }
        // Raised even when the restore failed: it may still bring it forward.
        accessibility.performAction(window, "AXRaise");
    }
}

void raiseApplicationWindows(const platform::RunningApplication& application, platform::Accessibility& accessibility) {
    const platform::AXElement element = applicationElement(application, accessibility);
    accessibility.setAttribute(element, "AXFrontmost", true);
    std::vector<platform::AXElement> shown;
    for (const auto& window : axElementArray(accessibility, element, "AXWindows")) {
        if (!readsAsMinimized(accessibility, window)) shown.push_back(window);
    }
    // Back to front, so that the first window of the list ends on top.
    for (auto it = shown.rbegin(); it != shown.rend(); ++it) accessibility.performAction(*it, "AXRaise");
    accessibility.setAttribute(element, "AXFrontmost", true);
}

}  // namespace zentrabo
