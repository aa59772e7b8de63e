// Choosing the application a request acts on, and reading accessibility
// elements without ever failing on an attribute.
#include <cmath>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::AXElement;
namespace axerror = platform::axerror;

void DesktopController::requireAccessibilityTrust() {
    if (!desktop_.accessibility().isProcessTrusted()) throw MacMenuError(Case::accessibilityMissing);
}

std::shared_ptr<platform::RunningApplication> DesktopController::targetApplication(
    const std::optional<std::string>& bundleIdentifier) {
    if (bundleIdentifier) {
        if (auto application = runningApplication(*bundleIdentifier)) return application;
    }
    // An identifier that names no running application falls back to the
    // application in front rather than failing.
    if (auto frontmost = desktop_.workspace().frontmostApplication()) return frontmost;
    throw MacMenuError(Case::noFrontmostApplication);
}

AXElement DesktopController::applicationElement(const platform::RunningApplication& application) {
    auto& accessibility = desktop_.accessibility();
    const AXElement element = accessibility.applicationElement(application.processIdentifier());
    accessibility.setMessagingTimeout(element, accessibilityMessagingTimeout);
    return element;
}

platform::MenuReadLimits DesktopController::menuReadLimits() {
    platform::MenuReadLimits limits;
    // Real menu bars have a few thousand items at most; an application whose
    // children lead back to its own items would otherwise be read for ever
    // within the depth limit.
    limits.maxItems = 20000;
    limits.maxDepth = MenuNode::maximumTreeDepth;
    limits.perCall = std::chrono::milliseconds(std::llround(accessibilityMessagingTimeout * 1000));
    // A read of ten thousand items takes a few seconds on a loaded machine;
    // far more is an application that answers too slowly to be used.
    limits.inAll = std::chrono::seconds(60);
    return limits;
}

MacMenuError DesktopController::menuUnreadable(const platform::RunningApplication& application,
                                               platform::AXError error) {
    if (application.isTerminated() || error == axerror::invalidUIElement) {
        return MacMenuError(Case::applicationNotRunning);
    }
    if (error == axerror::cannotComplete) return unresponsive(application);
    return MacMenuError(Case::menuUnavailable);
}

MacMenuError DesktopController::unresponsive(const platform::RunningApplication& application) {
    const auto bundleIdentifier = application.bundleIdentifier();
    std::string name = application.localizedName().value_or(bundleIdentifier.value_or("The app"));
    return MacMenuError(Case::applicationUnresponsive, std::move(name), bundleIdentifier);
}

}  // namespace zentrabo
