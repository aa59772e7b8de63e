// Dismissing the modal window that blocks an application.
#include <algorithm>
#include <array>
#include <string_view>

#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/collation.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

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

// The button that dismisses the modal: the one named, else its cancel or
// close button, else one titled as a dismissal, else its only one.
std::optional<std::size_t> dismissButton(const platform::ModalWindow& modal,
                                         const std::optional<std::string>& buttonTitle) {
    const auto& buttons = modal.buttons;
    const auto first = [&](auto&& accepts) -> std::optional<std::size_t> {
        for (std::size_t index = 0; index < buttons.size(); ++index) {
            if (accepts(buttons[index])) return index;
        }
        return std::nullopt;
    };
    // A named button is the only one tried.
    if (buttonTitle) return first([&](const platform::ModalButton& button) { return button.title == *buttonTitle; });
    if (auto cancel = first([](const platform::ModalButton& button) { return button.cancels; })) return cancel;
    if (auto close = first([](const platform::ModalButton& button) { return button.closes; })) return close;
    if (auto dismiss = first([](const platform::ModalButton& button) {
            return std::find(dismissTitles.begin(), dismissTitles.end(), button.title) != dismissTitles.end();
        })) {
        return dismiss;
    }
    if (buttons.size() == 1) return 0;
    return std::nullopt;
}

}  // namespace

std::optional<RemoteModalInfo> DesktopController::modalInfo(const std::optional<std::string>& bundleIdentifier) {
    requireAccessibilityTrust();
    return blockingModal(*targetApplication(bundleIdentifier));
}

std::optional<RemoteModalInfo> DesktopController::dismissModal(const std::optional<std::string>& bundleIdentifier,
                                                               const std::optional<std::string>& buttonTitle,
                                                               const std::optional<std::string>& expectedTitle) {
    requireAccessibilityTrust();
    // A button is pressed only in the dialog of the application named.
    const auto application = namedOrFrontmostApplication(bundleIdentifier);
    std::optional<std::string> expected;
    if (expectedTitle) {
        if (auto trimmed = platform::trimWhitespaceAndNewlines(*expectedTitle); !trimmed.empty()) expected = trimmed;
    }
    // The choice runs where the dialog is read, and may outlive this call:
    // it owns what it uses.
    const auto press = desktop_.accessibility().pressModalButton(
        application->processIdentifier(),
        [expected, buttonTitle](const platform::ModalWindow& modal) -> std::optional<std::size_t> {
            if (expected && !matchesExpectedTitle(remoteModal(modal), *expected)) return std::nullopt;
            return dismissButton(modal, buttonTitle);
        },
        menuReadLimits());
    if (!press.modal) return std::nullopt;
    RemoteModalInfo info = remoteModal(*press.modal);
    if (expected && !matchesExpectedTitle(info, *expected)) {
        throw MacMenuError(Case::modalMismatch, std::move(info), *expected);
    }
    if (!press.pressed) throw MacMenuError(Case::modalDismissUnavailable, std::move(info));
    desktop_.clock().sleep(afterPressDelay);
    return blockingModal(*application);
}

}  // namespace zentrabo
