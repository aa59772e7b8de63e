#pragma once
// The walks for the window that blocks an application and for the focused
// text field, run by every accessibility backend where its tree lives (its
// own thread, or under its own lock), so that reading a dialog, pressing
// one of its buttons or writing into a field is one piece of work for the
// caller to wait on. The tree answers as menu_walk.hpp's does, and sets
// attributes too:
//   AXError setAttribute(const AXElement&, const std::string&, const AXValue&)
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/desktop/accessible_modals.hpp"
#include "platform/desktop/menu_walk.hpp"
#include "platform/text/utf16.hpp"

namespace zentrabo::platform {

namespace modalwalk {

// Walks go at most this many levels below where they start and visit at
// most this many elements, so a tree that leads back into itself ends.
constexpr std::size_t maximumDepth = 64;
constexpr std::size_t maximumElements = 20000;

// Visits the element's descendants depth-first in pre-order (each child,
// then its own descendants) until visit returns true or the deadline
// passes; returns the element visit chose.
template <typename Tree, typename Visit>
std::optional<AXElement> walkDescendants(Tree& tree, const AXElement& element, menuwalk::Deadline deadline,
                                         Visit&& visit) {
    std::vector<std::pair<AXElement, std::size_t>> stack;
    const auto pushChildren = [&](const AXElement& parent, std::size_t depth) {
        std::vector<AXElement> children;
        tree.childElements(parent, children);
        for (auto child = children.rbegin(); child != children.rend(); ++child) stack.emplace_back(*child, depth);
    };
    pushChildren(element, 1);
    for (std::size_t visited = 0; !stack.empty() && visited < maximumElements; ++visited) {
        if (std::chrono::steady_clock::now() > deadline) break;
        const auto [current, depth] = stack.back();
        stack.pop_back();
        if (visit(current)) return current;
        if (depth < maximumDepth) pushChildren(current, depth + 1);
    }
    return std::nullopt;
}

template <typename Tree>
std::string textOf(Tree& tree, const AXElement& element, const char* name) {
    return menuwalk::valueOf<std::string>(tree.copyAttribute(element, name)).value_or("");
}

template <typename Tree>
bool isModal(Tree& tree, const AXElement& element) {
    return textOf(tree, element, "AXRole") == "AXSheet" ||
           menuwalk::valueOf<bool>(tree.copyAttribute(element, "AXModal")) == true;
}

// The modal element within the window (the window itself first).
template <typename Tree>
std::optional<AXElement> modalWithin(Tree& tree, const AXElement& window, menuwalk::Deadline deadline) {
    if (isModal(tree, window)) return window;
    return walkDescendants(tree, window, deadline, [&](const AXElement& element) { return isModal(tree, element); });
}

// The blocking element: within the focused window, else within the first
// window that holds one (a panel behind the document, say).
template <typename Tree>
std::optional<AXElement> blockingModal(Tree& tree, ProcessID application, menuwalk::Deadline deadline) {
    const AXElement element(AXElement::Kind::application, application);
    if (const auto focused = menuwalk::valueOf<AXElement>(tree.copyAttribute(element, "AXFocusedWindow"))) {
        if (auto modal = modalWithin(tree, *focused, deadline)) return modal;
    }
    const auto windows = menuwalk::valueOf<std::vector<AXElement>>(tree.copyAttribute(element, "AXWindows"));
    for (const AXElement& window : windows.value_or(std::vector<AXElement>{})) {
        if (auto modal = modalWithin(tree, window, deadline)) return modal;
    }
    return std::nullopt;
}

struct DescribedModal {
    ModalWindow modal;
    // The elements of modal.buttons, in the same order.
    std::vector<AXElement> buttons;
};

// A static text's words: its value, else its title.
template <typename Tree>
std::string staticTextOf(Tree& tree, const AXElement& text) {
    std::string words = textOf(tree, text, "AXValue");
    return words.empty() ? textOf(tree, text, "AXTitle") : words;
}

// One walk of the window serves its texts and its buttons, part by part
// (each child of the window with what lies under it). A toolkit that draws
// its own title bar (a window's client-side decorations on Wayland) lists it
// as such a part, holding the window's title as a text beside the window's
// own controls: that text is the title, not the dialog's message, and the
// close control has no title of its own, like a window's close button drawn
// by the window manager; buttons a dialog puts into its title bar stay its
// buttons.
template <typename Tree>
DescribedModal describe(Tree& tree, const AXElement& modal, menuwalk::Deadline deadline) {
    DescribedModal described;
    ModalWindow& window = described.modal;
    window.title = textOf(tree, modal, "AXTitle");
    window.role = textOf(tree, modal, "AXRole");
    window.subrole = textOf(tree, modal, "AXSubrole");
    std::vector<AXElement> staticTexts;
    std::optional<AXElement> titleBarClose;
    std::vector<AXElement> parts;
    tree.childElements(modal, parts);
    for (const AXElement& part : parts) {
        bool holdsTitle = false;
        const std::size_t firstButton = described.buttons.size();
        const auto visit = [&](const AXElement& element) {
            const std::string role = textOf(tree, element, "AXRole");
            if (role == "AXButton") described.buttons.push_back(element);
            if (role == "AXStaticText") {
                if (!window.title.empty() && staticTextOf(tree, element) == window.title) {
                    holdsTitle = true;
                } else {
                    staticTexts.push_back(element);
                }
            }
            return false;
        };
        visit(part);
        walkDescendants(tree, part, deadline, visit);
        if (holdsTitle && !titleBarClose && described.buttons.size() > firstButton) {
            const auto close = menuwalk::valueOf<AXElement>(tree.copyAttribute(modal, "AXCloseButton"));
            const auto begin = described.buttons.begin() + static_cast<std::ptrdiff_t>(firstButton);
            if (close && std::find(begin, described.buttons.end(), *close) != described.buttons.end()) {
                titleBarClose = close;
            }
        }
    }
    for (const char* name : {"AXDescription", "AXHelp", "AXValue"}) {
        if (window.message.empty()) window.message = textOf(tree, modal, name);
    }
    for (const AXElement& text : staticTexts) {
        if (window.message.empty()) window.message = staticTextOf(tree, text);
    }
    for (const AXElement& button : described.buttons) {
        window.buttons.push_back({button == titleBarClose ? std::string() : textOf(tree, button, "AXTitle")});
    }
    return described;
}

// Marks the buttons the window names its cancel and close buttons: only
// a press asks, as a toolkit may have to search the window for them.
template <typename Tree>
void markDismissButtons(Tree& tree, const AXElement& modal, DescribedModal& described) {
    const auto cancel = menuwalk::valueOf<AXElement>(tree.copyAttribute(modal, "AXCancelButton"));
    const auto close = menuwalk::valueOf<AXElement>(tree.copyAttribute(modal, "AXCloseButton"));
    for (std::size_t index = 0; index < described.buttons.size(); ++index) {
        described.modal.buttons[index].cancels = described.buttons[index] == cancel;
        described.modal.buttons[index].closes = described.buttons[index] == close;
    }
}

}  // namespace modalwalk

template <typename Tree>
std::optional<ModalWindow> readModalWindow(Tree& tree, ProcessID application, menuwalk::Deadline deadline) {
    const auto modal = modalwalk::blockingModal(tree, application, deadline);
    if (!modal) return std::nullopt;
    return modalwalk::describe(tree, *modal, deadline).modal;
}

template <typename Tree>
ModalPressResult pressModalButton(Tree& tree, ProcessID application, const ModalButtonChooser& choose,
                                  menuwalk::Deadline deadline) {
    ModalPressResult result;
    const auto modal = modalwalk::blockingModal(tree, application, deadline);
    if (!modal) return result;
    auto described = modalwalk::describe(tree, *modal, deadline);
    modalwalk::markDismissButtons(tree, *modal, described);
    result.modal = std::move(described.modal);
    const auto chosen = choose(*result.modal);
    // A caller that stopped waiting has answered: pressing now would act
    // behind its back.
    if (!chosen || *chosen >= described.buttons.size() || std::chrono::steady_clock::now() > deadline) return result;
    result.pressed = tree.performAction(described.buttons[*chosen], "AXPress") == axerror::success;
    return result;
}

// Writes the text over the selection of the element focused within owner
// (the system-wide element, or an application) and moves the caret behind
// it; true only when the element then reads as written. Ranges count
// UTF-16 code units.
template <typename Tree>
bool insertIntoFocusedField(Tree& tree, const AXElement& owner, const std::string& text) {
    const auto field = menuwalk::valueOf<AXElement>(tree.copyAttribute(owner, "AXFocusedUIElement"));
    if (!field) return false;
    const auto value = menuwalk::valueOf<std::string>(tree.copyAttribute(*field, "AXValue"));
    const auto range = menuwalk::valueOf<TextRange>(tree.copyAttribute(*field, "AXSelectedTextRange"));
    if (!value || !range) return false;

    std::u16string units = utf16(*value);
    const auto length = static_cast<std::int64_t>(units.size());
    // Written so that no sum can overflow, whatever the element reports.
    if (range->location < 0 || range->length < 0 || range->location > length ||
        range->length > length - range->location) {
        return false;
    }
    const std::u16string inserted = utf16(text);
    units.replace(static_cast<std::size_t>(range->location), static_cast<std::size_t>(range->length), inserted);
    const std::string replaced = utf8(units);
    if (tree.setAttribute(*field, "AXValue", replaced) != axerror::success) return false;
    const TextRange caret{range->location + static_cast<std::int64_t>(inserted.size()), 0};
    tree.setAttribute(*field, "AXSelectedTextRange", caret);
    return menuwalk::valueOf<std::string>(tree.copyAttribute(*field, "AXValue")) == replaced;
}

}  // namespace zentrabo::platform
