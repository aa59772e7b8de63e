// An application's menu bar as a tree of titled items with their paths,
// enabled states and shortcuts.
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using platform::AXElement;
using Case = MacMenuError::Case;

namespace {

// Items read per snapshot. Real menu bars have a few thousand at most; an
// application whose children lead back to its own items would otherwise be
// read for ever within the depth limit.
constexpr std::size_t maximumSnapshotElements = 20000;

// Path elements are joined with the unit separator, which no title contains
// in practice, so the identifier of an item is its path.
constexpr char pathSeparator = '\x1F';

std::string joinedPath(const std::vector<std::string>& path) {
    std::string id;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (i > 0) id += pathSeparator;
        id += path[i];
    }
    return id;
}

// Bits of the accessibility menu-item modifier value.
constexpr std::int64_t shiftModifier = 1;
constexpr std::int64_t optionModifier = 2;
constexpr std::int64_t controlModifier = 4;
constexpr std::int64_t noCommandModifier = 8;

}  // namespace

MenuSnapshot DesktopController::menuSnapshot(const std::optional<std::string>& bundleIdentifier) {
    requireAccessibilityTrust();
    const auto application = targetApplication(bundleIdentifier);
    const AXElement menuBar = menuBarElement(*application);

    MenuSnapshot snapshot;
    snapshot.application = snapshotApplication(*application);
    MenuRead read{*application, maximumSnapshotElements};
    for (const AXElement& child : menuChildren(menuBar, *application)) {
        if (auto node = menuNode(child, {}, 1, read)) snapshot.items.push_back(std::move(*node));
    }
    // Reads after the last children read (titles, shortcuts) fail quietly
    // too when the application ends: it must still be there at the end.
    requireApplicationOnTheBus(*application);
    return snapshot;
}

std::vector<AXElement> DesktopController::menuChildren(const AXElement& element,
                                                       const platform::RunningApplication& application) {
    auto& accessibility = desktop_.accessibility();
    accessibility.setMessagingTimeout(element, accessibilityMessagingTimeout);
    const auto children = accessibility.copyAttribute(element, "AXChildren");
    if (children.error == platform::axerror::success) {
        if (const auto* elements = children.value ? std::get_if<std::vector<AXElement>>(&*children.value) : nullptr) {
            return *elements;
        }
        return {};
    }
    requireApplicationOnTheBus(application);
    return {};
}

void DesktopController::requireApplicationOnTheBus(const platform::RunningApplication& application) {
    if (application.isTerminated()) throw MacMenuError(Case::applicationNotRunning);
    const AXElement element = applicationElement(application);
    if (desktop_.accessibility().copyAttribute(element, "AXRole").error == platform::axerror::success) return;
    // Its bus connection closes as the process ends: which came first
    // decides the answer.
    if (application.isTerminated()) throw MacMenuError(Case::applicationNotRunning);
    throw unresponsive(application);
}

std::optional<MenuNode> DesktopController::menuNode(const AXElement& element,
                                                    const std::vector<std::string>& parentPath, std::size_t depth,
                                                    MenuRead& read) {
    if (read.budget == 0) return std::nullopt;
    --read.budget;

    MenuNode node;
    node.title = platform::trimWhitespaceAndNewlines(stringAttribute("AXTitle", element).value_or(""));
    node.role = stringAttribute("AXRole", element).value_or("");
    node.enabled = flagAttribute("AXEnabled", element).value_or(true);
    node.path = parentPath;
    if (!node.title.empty()) node.path.push_back(node.title);

    // A node at the deepest level a reply may carry keeps no children.
    if (depth < MenuNode::maximumTreeDepth) {
        const auto submenu = submenuElement(element);
        for (const AXElement& child : menuChildren(submenu.value_or(element), read.application)) {
            if (auto kept = menuNode(child, node.path, depth + 1, read)) node.children.push_back(std::move(*kept));
        }
    }
    // Separators and empty containers carry nothing; an untitled container
    // with items stays, under its parent's path.
    if (node.title.empty() && node.children.empty()) return std::nullopt;

    node.id = joinedPath(node.path);
    node.shortcut = shortcutText(element);
    return node;
}

std::optional<AXElement> DesktopController::submenuElement(const AXElement& element) {
    auto& accessibility = desktop_.accessibility();
    accessibility.setMessagingTimeout(element, accessibilityMessagingTimeout);
    // Menu items answer the command-character attribute (with or without a
    // value); only an element that does not, such as a menu-bar item, holds
    // its items in a menu of its own.
    if (accessibility.copyAttribute(element, "AXMenuItemCmdChar").error == platform::axerror::success) {
        return std::nullopt;
    }
    return menuChild(element);
}

std::optional<AXElement> DesktopController::menuChild(const AXElement& element) {
    for (const AXElement& child : childElements(element)) {
        if (stringAttribute("AXRole", child) == "AXMenu") return child;
    }
    return std::nullopt;
}

std::optional<std::string> DesktopController::shortcutText(const AXElement& element) {
    const auto character = stringAttribute("AXMenuItemCmdChar", element);
    if (!character || character->empty()) return std::nullopt;
    std::string text;
    if (const auto modifiers = integerAttribute("AXMenuItemCmdModifiers", element)) {
        if ((*modifiers & noCommandModifier) == 0) text += "cmd+";
        if ((*modifiers & shiftModifier) != 0) text += "shift+";
        if ((*modifiers & optionModifier) != 0) text += "option+";
        if ((*modifiers & controlModifier) != 0) text += "control+";
    }
    return text + platform::uppercased(*character);
}

}  // namespace zentrabo
