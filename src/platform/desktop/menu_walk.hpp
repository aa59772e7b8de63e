#pragma once
// The walk of an application's menus that every accessibility backend runs
// where its tree lives (its own thread, or under its own lock), so a whole
// read or press is one piece of work for the caller to wait on.
//
// The tree answers, synchronously and without waiting on other threads:
//   AXAttributeResult copyAttribute(const AXElement&, const std::string&)
//   AXError childElements(const AXElement&, std::vector<AXElement>&)
//   AXError performAction(const AXElement&, const std::string&)
#include <chrono>
#include <cstddef>
#include <string>
#include <variant>
#include <vector>

#include "platform/desktop/accessibility.hpp"
#include "platform/desktop/accessible_menus.hpp"

namespace zentrabo::platform {

namespace menuwalk {

// The deadline is the caller's: set where the caller started waiting, so
// work that waited in a queue does not run past the caller's wait.
using Deadline = std::chrono::steady_clock::time_point;

template <typename T>
std::optional<T> valueOf(const AXAttributeResult& result) {
    if (result.error != axerror::success || !result.value) return std::nullopt;
    const auto* value = std::get_if<T>(&*result.value);
    return value ? std::optional<T>(*value) : std::nullopt;
}

template <typename Tree>
AXError menuBarItems(Tree& tree, ProcessID application, std::vector<AXElement>& items) {
    const auto menuBar = tree.copyAttribute(AXElement(AXElement::Kind::application, application), "AXMenuBar");
    if (menuBar.error != axerror::success) return menuBar.error;
    const auto element = valueOf<AXElement>(menuBar);
    if (!element) return axerror::noValue;
    tree.childElements(*element, items);
    return axerror::success;
}

// The items a path goes on to below an item: those of its menu where it
// has one, else its own children.
template <typename Tree>
AXError itemsBelow(Tree& tree, const AXElement& item, std::vector<AXElement>& items) {
    std::vector<AXElement> children;
    if (const AXError error = tree.childElements(item, children); error != axerror::success) return error;
    for (const AXElement& child : children) {
        if (valueOf<std::string>(tree.copyAttribute(child, "AXRole")) == "AXMenu") {
            return tree.childElements(child, items);
        }
    }
    items = std::move(children);
    return axerror::success;
}

// The children a tree read keeps under an item. A menu item (it answers the
// command character, with or without one) keeps its own, an untitled menu
// among them; an element that does not, such as an item of the menu bar,
// holds its items in a menu of its own.
template <typename Tree>
AXError submenuItems(Tree& tree, const AXElement& item, std::vector<AXElement>& items) {
    if (tree.copyAttribute(item, "AXMenuItemCmdChar").error == axerror::success) {
        return tree.childElements(item, items);
    }
    return itemsBelow(tree, item, items);
}

template <typename Tree>
std::string titleOf(Tree& tree, const AXElement& item) {
    return valueOf<std::string>(tree.copyAttribute(item, "AXTitle")).value_or("");
}

template <typename Tree>
bool isEnabled(Tree& tree, const AXElement& item) {
    return valueOf<bool>(tree.copyAttribute(item, "AXEnabled")).value_or(true);
}

// What cannot be read keeps its default.
template <typename Tree>
AccessibleMenuItem describe(Tree& tree, const AXElement& item) {
    AccessibleMenuItem described;
    described.title = titleOf(tree, item);
    described.role = valueOf<std::string>(tree.copyAttribute(item, "AXRole")).value_or("");
    described.enabled = isEnabled(tree, item);
    auto character = valueOf<std::string>(tree.copyAttribute(item, "AXMenuItemCmdChar"));
    if (character && !character->empty()) {
        const auto modifiers = valueOf<std::int64_t>(tree.copyAttribute(item, "AXMenuItemCmdModifiers"));
        described.shortcut = MenuShortcut{std::move(*character), modifiers.value_or(menumodifier::noCommand)};
    }
    return described;
}

template <typename Tree>
struct TreeWalk {
    Tree& tree;
    const MenuReadLimits& limits;
    Deadline deadline;
    std::size_t budget;
    AXError error = axerror::success;

    // Items the application did not answer for keep no children; one that
    // left the bus, or a read past its time, ends the walk.
    bool stopped() {
        if (error == axerror::success && std::chrono::steady_clock::now() > deadline) error = axerror::cannotComplete;
        return error != axerror::success;
    }

    void readInto(const std::vector<AXElement>& elements, std::size_t depth, std::vector<AccessibleMenuItem>& into) {
        for (const AXElement& element : elements) {
            if (budget == 0 || stopped()) return;
            --budget;
            AccessibleMenuItem item = describe(tree, element);
            if (depth < limits.maxDepth) {
                std::vector<AXElement> children;
                const AXError read = submenuItems(tree, element, children);
                if (read == axerror::invalidUIElement || read == axerror::apiDisabled) error = read;
                readInto(children, depth + 1, item.children);
            }
            into.push_back(std::move(item));
        }
    }
};

}  // namespace menuwalk

template <typename Tree>
MenuTreeRead readMenuTree(Tree& tree, ProcessID application, const MenuReadLimits& limits,
                          menuwalk::Deadline deadline) {
    MenuTreeRead read;
    std::vector<AXElement> top;
    read.error = menuwalk::menuBarItems(tree, application, top);
    if (read.error != axerror::success) return read;
    read.menuBarFound = true;
    menuwalk::TreeWalk<Tree> walk{tree, limits, deadline, limits.maxItems};
    walk.readInto(top, 1, read.items);
    read.error = walk.error;
    // Reads fail quietly when the application ends or leaves the bus while
    // it is walked: a tree cut short so must not pass for its whole menu.
    if (read.error == axerror::success) {
        read.error = tree.copyAttribute(AXElement(AXElement::Kind::application, application), "AXRole").error;
    }
    return read;
}

template <typename Tree>
MenuPressResult pressMenuPath(Tree& tree, ProcessID application, std::size_t levels, const MenuItemChooser& choose,
                              menuwalk::Deadline deadline) {
    using Outcome = MenuPressResult::Outcome;
    std::vector<AXElement> items;
    if (const AXError error = menuwalk::menuBarItems(tree, application, items); error != axerror::success) {
        return {Outcome::menuUnreadable, error, 0};
    }
    for (std::size_t level = 0; level < levels; ++level) {
        if (std::chrono::steady_clock::now() > deadline) return {Outcome::menuUnreadable, axerror::cannotComplete, 0};
        std::vector<std::string> titles;
        titles.reserve(items.size());
        for (const AXElement& item : items) titles.push_back(menuwalk::titleOf(tree, item));
        const auto chosen = choose(level, titles);
        if (!chosen || *chosen >= items.size()) return {Outcome::itemNotFound, axerror::success, level};
        const AXElement item = items[*chosen];
        if (level + 1 < levels) {
            items.clear();
            menuwalk::itemsBelow(tree, item, items);
            continue;
        }
        if (!menuwalk::isEnabled(tree, item)) return {Outcome::itemDisabled, axerror::success, level};
        // A caller that stopped waiting has answered: pressing now would act
        // behind its back.
        if (std::chrono::steady_clock::now() > deadline) return {Outcome::menuUnreadable, axerror::cannotComplete, 0};
        const bool pressed = tree.performAction(item, "AXPress") == axerror::success;
        return {pressed ? Outcome::pressed : Outcome::pressFailed, axerror::success, level};
    }
    // An empty path leads to the menu bar itself, which is not pressed.
    return {Outcome::pressFailed, axerror::success, 0};
}

}  // namespace zentrabo::platform
