// Pressing a menu item named by its path of titles: find each title among
// the items of the menu before it, refuse a disabled item, press, and keep
// the application in front.
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

using platform::AXElement;

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

    const AXElement item = menuPathElement(menuBarElement(*application), path, matchModes, matchValues);
    if (flagAttribute("AXEnabled", item) == false) {
        throw MacMenuError(Case::menuItemDisabled, path.empty() ? std::string() : path.back());
    }
    if (desktop_.accessibility().performAction(item, "AXPress") != platform::axerror::success) {
        throw MacMenuError(Case::actionFailed);
    }
    desktop_.clock().runLoopTurn(pressDeliveryTurn);

    // A command that opened something in another application took the
    // front; give it back, without failing a press that has happened.
    if (!application->isTerminated() && !isFrontmost(*application)) {
        const AXElement element = applicationElement(*application);
        application->activate(false);
        desktop_.accessibility().setAttribute(element, "AXFrontmost", true);
        waitUntilFrontmost(*application);
    }
}

AXElement DesktopController::menuPathElement(
    const AXElement& menuBar, const std::vector<std::string>& path,
    const std::optional<std::vector<MenuTitleMatchMode>>& matchModes,
    const std::optional<std::vector<std::optional<std::string>>>& matchValues) {
    AXElement current = menuBar;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto match =
            findMenuItem(childElements(current), path[i], matchValueAt(matchValues, path, i), modeAt(matchModes, i));
        if (!match) throw MacMenuError(Case::menuItemNotFound, path[i]);
        // Decided by position: a later title equal to the last one is still
        // an item to open, not the item to press.
        const bool isLast = i + 1 == path.size();
        // Items of a submenu sit in the item's menu, whether or not the item
        // answers the command-character attribute.
        current = isLast ? *match : menuChild(*match).value_or(*match);
    }
    return current;
}

std::optional<AXElement> DesktopController::findMenuItem(const std::vector<AXElement>& siblings,
                                                         const std::string& title, const std::string& matchValue,
                                                         MenuTitleMatchMode matchMode) {
    const std::string wantedTitle = platform::trimWhitespaceAndNewlines(title);
    std::vector<std::string> titles;
    titles.reserve(siblings.size());
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        titles.push_back(platform::trimWhitespaceAndNewlines(stringAttribute("AXTitle", siblings[i]).value_or("")));
        if (titles.back() == wantedTitle) return siblings[i];
    }
    // An exact title anywhere wins over an earlier prefix match.
    const std::string prefix = platform::trimWhitespaceAndNewlines(matchValue);
    if (matchMode == MenuTitleMatchMode::exact || prefix.empty()) return std::nullopt;
    for (std::size_t i = 0; i < siblings.size(); ++i) {
        if (platform::beginsWithIgnoringCaseAndDiacritics(titles[i], prefix)) return siblings[i];
    }
    return std::nullopt;
}

}  // namespace zentrabo
