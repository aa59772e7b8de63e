#include "model/records/menu_records.hpp"

#include <utility>

namespace zentrabo {

std::string HalvardineApplication::id() const {
    if (bundleIdentifier) return *bundleIdentifier;
    return "pid-" + std::to_string(pid);
}

MenuNode::MenuNode(std::string id, std::string title, std::string role, bool enabled,
                   std::optional<std::string> shortcut, std::vector<std::string> path, std::vector<MenuNode> children)
    : id(std::move(id)),
      title(std::move(title)),
      role(std::move(role)),
      enabled(enabled),
      shortcut(std::move(shortcut)),
      path(std::move(path)),
      children(std::move(children)) {}

MenuNode MenuNode::withoutChildren() const { return MenuNode(id, title, role, enabled, shortcut, path, {}); }

MenuNode::MenuNode(const MenuNode& other)
    : id(other.id),
      title(other.title),
      role(other.role),
      enabled(other.enabled),
      shortcut(other.shortcut),
      path(other.path) {
    // Level by level through an explicit list of (source, copy) pairs.
    std::vector<std::pair<const MenuNode*, MenuNode*>> pending{{&other, this}};
    while (!pending.empty()) {
        const auto [source, target] = pending.back();
        pending.pop_back();
        // Reserved first, so the addresses pushed below stay valid.
        target->children.reserve(source->children.size());
        for (const MenuNode& child : source->children) target->children.push_back(child.withoutChildren());
        for (std::size_t i = 0; i < source->children.size(); ++i) {
            pending.emplace_back(&source->children[i], &target->children[i]);
        }
    }
}

MenuNode& MenuNode::operator=(const MenuNode& other) {
    if (this != &other) *this = MenuNode(other);
    return *this;
}

MenuNode& MenuNode::operator=(MenuNode&& other) noexcept {
    if (this == &other) return *this;
    // The old submenu goes through the destructor's flat teardown.
    MenuNode old(std::move(*this));
    id = std::move(other.id);
    title = std::move(other.title);
    role = std::move(other.role);
    enabled = other.enabled;
    shortcut = std::move(other.shortcut);
    path = std::move(other.path);
    children = std::move(other.children);
    return *this;
}

MenuNode::~MenuNode() {
    if (children.empty()) return;
    // Detach every descendant into one flat list before it is destroyed, so
    // each destructor below finds no children and returns at once.
    std::vector<MenuNode> pending = std::move(children);
    while (!pending.empty()) {
        MenuNode node = std::move(pending.back());
        pending.pop_back();
        for (MenuNode& child : node.children) pending.push_back(std::move(child));
        node.children.clear();
    }
}

}  // namespace zentrabo
