// An application's menu bar as a tree of titled items with their paths,
// enabled states and shortcuts.
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"
#include "platform/text/case_mapping.hpp"
#include "platform/text/trim.hpp"

namespace zentrabo {

using Case = MacMenuError::Case;

namespace {

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

// "cmd+shift+S" and the like.
std::string shortcutText(const platform::MenuShortcut& shortcut) {
    namespace modifier = platform::menumodifier;
    std::string text;
    if ((shortcut.modifiers & modifier::noCommand) == 0) text += "cmd+";
    if ((shortcut.modifiers & modifier::shift) != 0) text += "shift+";
    if ((shortcut.modifiers & modifier::option) != 0) text += "option+";
    if ((shortcut.modifiers & modifier::control) != 0) text += "control+";
    return text + platform::uppercased(shortcut.character);
}

// The item and its subtree; none when it carries nothing: separators and
// empty containers. An untitled container with items stays, under its
// parent's path.
std::optional<MenuNode> menuNode(platform::AccessibleMenuItem& item, const std::vector<std::string>& parentPath) {
    MenuNode node;
    node.title = platform::trimWhitespaceAndNewlines(item.title);
    node.role = std::move(item.role);
    node.enabled = item.enabled;
    node.path = parentPath;
    if (!node.title.empty()) node.path.push_back(node.title);
    for (auto& child : item.children) {
        if (auto kept = menuNode(child, node.path)) node.children.push_back(std::move(*kept));
    }
    if (node.title.empty() && node.children.empty()) return std::nullopt;
    node.id = joinedPath(node.path);
    if (item.shortcut) node.shortcut = shortcutText(*item.shortcut);
    return node;
}

}  // namespace

MenuSnapshot DesktopController::menuSnapshot(const std::optional<std::string>& bundleIdentifier) {
    requireAccessibilityTrust();
    const auto application = targetApplication(bundleIdentifier);
    auto read = desktop_.accessibility().menuTree(application->processIdentifier(), menuReadLimits());
    if (!read.menuBarFound) throw menuUnreadable(*application, read.error);
    // A tree cut short never passes for the whole menu.
    if (application->isTerminated()) throw MacMenuError(Case::applicationNotRunning);
    if (read.error != platform::axerror::success) throw unresponsive(*application);

    MenuSnapshot snapshot;
    snapshot.application = snapshotApplication(*application);
    for (auto& item : read.items) {
        if (auto node = menuNode(item, {})) snapshot.items.push_back(std::move(*node));
    }
    return snapshot;
}

}  // namespace zentrabo
