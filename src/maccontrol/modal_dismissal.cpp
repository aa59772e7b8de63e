// Reading and dismissing the modal window that blocks an application.
#include <algorithm>
#include <array>
#include <string_view>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/collation.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::AXElement;

namespace {

// Titles of buttons that close a dialog without acting, tried when the
// caller names no button and the dialog names no cancel or close button.
constexpr std::array<std::string_view, 7> dismissTitles{"Cancel",    "Abbrechen", "Close", "Schliessen",
                                                        "Schließen", "Done",      "Fertig"};

// Lets the application take the dialog down (or open the next one) before
// it is looked at again.
constexpr double afterPressDelay = 0.2;

// Whether the modal is the one the caller expects: its title, message or
// display title, trimmed, equal to the trimmed expected title ignoring case.
bool matchesExpectedTitle(const RemoteModalInfo& modal, const std::string& expectedTitle) {
    for (const auto* candidate :
         {modal.title ? &*modal.title : nullptr, modal.message ? &*modal.message : nullptr, &modal.displayTitle()}) {
        if (!candidate) continue;
        const std::string trimmed = platform::trimWhitespaceAndNewlines(*candidate);
        if (!trimmed.empty() && platform::equalCaseInsensitive(trimmed, expectedTitle)) return true;
    }
    return false;
}

}  // namespace

std::optional<AXElement> DesktopController::dismissButton(const AXElement& modal, const ModalParts& parts,
                                                          const std::optional<std::string>& buttonTitle) {
    const auto& buttons = parts.buttons;
    const auto withTitle = [&](auto&& accepts) -> std::optional<AXElement> {
        for (const auto& button : buttons) {
            const auto title = stringAttribute("AXTitle", button);
            if (title && accepts(*title)) return button;
        }
        return std::nullopt;
    };
    // A named button is the only one tried.
    if (buttonTitle) return withTitle([&](const std::string& title) { return title == *buttonTitle; });

    if (auto cancel = axElementAttribute("AXCancelButton", modal)) return cancel;
    if (auto close = axElementAttribute("AXCloseButton", modal)) return close;
    if (auto dismiss = withTitle([](const std::string& title) {
            return std::find(dismissTitles.begin(), dismissTitles.end(), title) != dismissTitles.end();
        })) {
        return dismiss;
    }
    if (buttons.size() == 1) return buttons.front();
    return std::nullopt;
}

std::optional<RemoteModalInfo> DesktopController::modalInfo(const std::optional<std::string>& bundleIdentifier) {
    requireAccessibilityTrust();
    const auto application = targetApplication(bundleIdentifier);
    const auto modal = blockingModalWindow(applicationElement(*application));
    if (!modal) return std::nullopt;
    return describeModal(*modal);
}

std::optional<RemoteModalInfo> DesktopController::dismissModal(const std::optional<std::string>& bundleIdentifier,
                                                               const std::optional<std::string>& buttonTitle,
                                                               const std::optional<std::string>& expectedTitle) {
    requireAccessibilityTrust();
    // A button is pressed only in the dialog of the application named.
    const auto application = namedOrFrontmostApplication(bundleIdentifier);
    const AXElement element = applicationElement(*application);
    const auto modal = blockingModalWindow(element);
    if (!modal) return std::nullopt;
    // One walk of the dialog serves its description and the choice of button.
    const ModalParts parts = modalParts(*modal);
    RemoteModalInfo info = describeModal(*modal, parts);

    if (expectedTitle) {
        const std::string expected = platform::trimWhitespaceAndNewlines(*expectedTitle);
        if (!expected.empty() && !matchesExpectedTitle(info, expected)) {
            throw MacMenuError(Case::modalMismatch, std::move(info), expected);
        }
    }
    const auto button = dismissButton(*modal, parts, buttonTitle);
    if (!button) throw MacMenuError(Case::modalDismissUnavailable, std::move(info));
    auto& accessibility = desktop_.accessibility();
    accessibility.setMessagingTimeout(*button, accessibilityMessagingTimeout);
    if (accessibility.performAction(*button, "AXPress") != platform::axerror::success) {
        throw MacMenuError(Case::modalDismissUnavailable, std::move(info));
    }
    desktop_.clock().sleep(afterPressDelay);

    const auto stillBlocking = blockingModalWindow(element);
    if (!stillBlocking) return std::nullopt;
    return describeModal(*stillBlocking);
}

}  // namespace zentrabo
