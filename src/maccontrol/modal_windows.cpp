// Finding the sheet or modal window that blocks an application, and
// describing it.
#include <algorithm>
#include <utility>

#include "maccontrol/accessibility_value.hpp"
#include "maccontrol/desktop_controller.hpp"
#include "maccontrol/mac_menu_error.hpp"

namespace zentrabo {

using platform::AXElement;

namespace {

// Element walks go at most this many levels below where they start and
// visit at most this many elements, so an accessibility tree that leads back
// into itself cannot hold the main thread for ever.
constexpr int maximumWalkDepth = 64;
constexpr std::size_t maximumWalkElements = 20000;

// Visits element's descendants depth-first in pre-order (each child, then
// its own descendants) until visit returns true; returns that element.
template <class Children, class Visit>
std::optional<AXElement> walkDescendants(const AXElement& element, Children&& children, Visit&& visit) {
    std::vector<std::pair<AXElement, int>> stack;
    const auto pushChildren = [&](const AXElement& parent, int depth) {
        const auto found = children(parent);
        for (auto it = found.rbegin(); it != found.rend(); ++it) stack.emplace_back(*it, depth);
    };
    pushChildren(element, 1);
    for (std::size_t visited = 0; !stack.empty() && visited < maximumWalkElements; ++visited) {
        const auto [current, depth] = stack.back();
        stack.pop_back();
        if (visit(current)) return current;
        if (depth < maximumWalkDepth) pushChildren(current, depth + 1);
    }
    return std::nullopt;
}

}  // namespace

std::optional<AXElement> DesktopController::axElementAttribute(const std::string& name, const AXElement& element) {
    return readAccessibilityValue<AXElement>(desktop_.accessibility(), element, name, accessibilityMessagingTimeout);
}

std::optional<AXElement> DesktopController::blockingModalWindow(const AXElement& applicationElement) {
    if (const auto focused = axElementAttribute("AXFocusedWindow", applicationElement)) {
        if (auto modal = modalElement(*focused)) return modal;
    }
    for (const auto& window : elementsAttribute("AXWindows", applicationElement)) {
        if (auto modal = modalElement(window)) return modal;
    }
    return std::nullopt;
}

void DesktopController::refuseInputWhileBlocked(const platform::RunningApplication& application) {
    if (const auto modal = blockingModalWindow(applicationElement(application))) {
        throw MacMenuError(MacMenuError::Case::inputBlocked, describeModal(*modal));
    }
}

std::optional<AXElement> DesktopController::modalElement(const AXElement& element) {
    const auto isModal = [this](const AXElement& candidate) {
        return stringAttribute("AXRole", candidate) == "AXSheet" || flagAttribute("AXModal", candidate) == true;
    };
    if (isModal(element)) return element;
    return walkDescendants(
        element, [this](const AXElement& e) { return childElements(e); }, isModal);
}

DesktopController::ModalParts DesktopController::modalParts(const AXElement& modal) {
    ModalParts parts;
    walkDescendants(
        modal, [this](const AXElement& e) { return childElements(e); },
        [&](const AXElement& e) {
            const auto role = stringAttribute("AXRole", e);
            if (role == "AXButton") parts.buttons.push_back(e);
            if (role == "AXStaticText") parts.staticTexts.push_back(e);
            return false;
        });
    return parts;
}

std::optional<std::string> DesktopController::staticTextValue(const AXElement& element) {
    for (const char* name : {"AXValue", "AXTitle"}) {
        auto text = stringAttribute(name, element);
        if (text && !text->empty()) return text;
    }
    return std::nullopt;
}

std::optional<std::string> DesktopController::modalMessage(const AXElement& modal, const ModalParts& parts) {
    for (const char* name : {"AXDescription", "AXHelp", "AXValue"}) {
        auto text = stringAttribute(name, modal);
        if (text && !text->empty()) return text;
    }
    for (const auto& element : parts.staticTexts) {
        if (auto text = staticTextValue(element)) return text;
    }
    return std::nullopt;
}

std::vector<std::string> DesktopController::modalButtonTitles(const ModalParts& parts) {
    std::vector<std::string> titles;
    for (const auto& button : parts.buttons) {
        auto title = stringAttribute("AXTitle", button);
        if (!title || title->empty()) continue;
        if (std::find(titles.begin(), titles.end(), *title) == titles.end()) titles.push_back(std::move(*title));
    }
    return titles;
}

RemoteModalInfo DesktopController::describeModal(const AXElement& modal) {
    return describeModal(modal, modalParts(modal));
}

RemoteModalInfo DesktopController::describeModal(const AXElement& modal, const ModalParts& parts) {
    const auto nonEmpty = [](std::optional<std::string> text) {
        return text && !text->empty() ? std::move(text) : std::nullopt;
    };
    RemoteModalInfo info;
    info.title = nonEmpty(stringAttribute("AXTitle", modal));
    info.role = stringAttribute("AXRole", modal).value_or("modal window");
    info.subrole = nonEmpty(stringAttribute("AXSubrole", modal));
    info.message = modalMessage(modal, parts);
    info.buttonTitles = modalButtonTitles(parts);
    return info;
}

}  // namespace zentrabo
