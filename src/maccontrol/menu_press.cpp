// Pressing a menu item named by its path of titles: find each title among
// the items of the menu before it, refuse a disabled item, press, and keep
// the application in front.
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

namespace {

// Lets the activation and the raise take effect before the menus are read.
constexpr double settleAfterRaise = 0.15;
// One run-loop turn, so the press is delivered before the front is checked.
constexpr double pressDeliveryTurn = 0.08;

// A missing list, or an index past its end, means an exact match.
MenuTitleMatchMode modeAt(const std::optional<std::vector<MenuTitleMatchMode>>& modes, std::size_t index) {
    if (!modes || index >= modes->size()) return MenuTitleMatchMode::exact;
    return (*modes)[index];
}

// The entry for the index when it is present and not empty, else the title.
const std::string& matchValueAt(const std::optional<std::vector<std::optional<std::string>>>& values,
                                const std::vector<std::string>& path, std::size_t index) {
    if (values && index < values->size()) {
        const auto& value = (*values)[index];
        if (value && !value->empty()) return *value;
    }
    return path[index];
}

}  // namespace

void DesktopController::pressMenuItem(const std::optional<std::string>& bundleIdentifier,
                                      const std::vector<std::string>& path,
                                      const std::optional<std::vector<MenuTitleMatchMode>>& matchModes,
                                      const std::optional<std::vector<std::optional<std::string>>>& matchValues) {
    requireAccessibilityTrust();
    const auto application = activateApplication(bundleIdentifier);
    raiseApplication(*application, true);
    desktop_.clock().sleep(settleAfterRaise);

    // A sheet or dialog would swallow the command.
    refuseInputWhileBlocked(*application);

    // Chosen where the menus are read; the chooser owns what it uses.
    auto choose = [path, matchModes, matchValues](std::size_t level, const std::vector<std::string>& titles) {
        return matchingMenuTitle(titles, path[level], matchValueAt(matchValues, path, level),
                                 modeAt(matchModes, level));
    };
    using Outcome = platform::MenuPressResult::Outcome;
    const auto pressed =
        desktop_.accessibility().pressMenuItem(application->processIdentifier(), path.size(), choose, menuReadLimits());
    switch (pressed.outcome) {
    case Outcome::pressed:
        break;
    case Outcome::menuUnreadable:
        throw menuUnreadable(*application, pressed.error);
    case Outcome::itemNotFound:
        throw MacMenuError(Case::menuItemNotFound, path[pressed.level]);
    case Outcome::itemDisabled:
        throw MacMenuError(Case::menuItemDisabled, path.back());
    case Outcome::pressFailed:
        throw MacMenuError(Case::actionFailed);
    }
    desktop_.clock().runLoopTurn(pressDeliveryTurn);

    // A command that opened something in another application took the
    // front; give it back, without failing a press that has happened.
    if (!application->isTerminated() && !isFrontmost(*application)) bringForward(*application, false);
}

std::optional<std::size_t> DesktopController::matchingMenuTitle(const std::vector<std::string>& siblingTitles,
                                                                const std::string& title, const std::string& matchValue,
                                                                MenuTitleMatchMode matchMode) {
    const std::string wantedTitle = platform::trimWhitespaceAndNewlines(title);
    std::vector<std::string> titles;
    titles.reserve(siblingTitles.size());
    for (std::size_t i = 0; i < siblingTitles.size(); ++i) {
        titles.push_back(platform::trimWhitespaceAndNewlines(siblingTitles[i]));
        if (titles.back() == wantedTitle) return i;
    }
    // An exact title anywhere wins over an earlier prefix match.
    const std::string prefix = platform::trimWhitespaceAndNewlines(matchValue);
    if (matchMode == MenuTitleMatchMode::exact || prefix.empty()) return std::nullopt;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (platform::beginsWithIgnoringCaseAndDiacritics(titles[i], prefix)) return i;
    }
    return std::nullopt;
}

}  // namespace zentrabo
