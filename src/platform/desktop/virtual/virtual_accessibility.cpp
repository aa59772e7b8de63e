// The accessibility interface of the virtual desktop.
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>

#include "platform/desktop/virtual/virtual_desktop.hpp"

namespace zentrabo::platform {

namespace {

// The values the model's text fields take, for the journal.
std::string describe(const AXValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return "\"" + *text + "\"";
    if (const auto* range = std::get_if<TextRange>(&value)) {
        return "{" + std::to_string(range->location) + ", " + std::to_string(range->length) + "}";
    }
    return "value";
}

AXAttributeResult found(AXValue value) { return {axerror::success, std::move(value)}; }
AXAttributeResult missing() { return {axerror::noValue, std::nullopt}; }
AXAttributeResult unsupported() { return {axerror::attributeUnsupported, std::nullopt}; }

}  // namespace

bool VirtualDesktop::isProcessTrusted() { return accessibilityTrusted_.load(); }

bool VirtualDesktop::requestProcessTrust() {
    auto lock = settle();
    recordLocked("requestAccessibility", "", accessibilityTrusted_ ? "granted" : "denied");
    return accessibilityTrusted_;
}

AXElement VirtualDesktop::systemWideElement() { return AXElement(AXElement::Kind::systemWide, 0); }

AXElement VirtualDesktop::applicationElement(ProcessID pid) { return AXElement(AXElement::Kind::application, pid); }

AXError VirtualDesktop::setMessagingTimeout(const AXElement& element, double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) return axerror::illegalArgument;
    auto lock = settle();
    switch (element.kind()) {
    case AXElement::Kind::systemWide:
        systemWideTimeout_ = seconds;
        return axerror::success;
    case AXElement::Kind::application:
        if (auto* application = applicationLocked(static_cast<ProcessID>(element.identity()))) {
            application->messagingTimeout = seconds;
            return axerror::success;
        }
        return axerror::invalidUIElement;
    case AXElement::Kind::node:
        if (auto it = nodes_.find(element.identity()); it != nodes_.end()) {
            it->second.messagingTimeout = seconds;
            return axerror::success;
        }
        return axerror::invalidUIElement;
    }
    return axerror::illegalArgument;
}

VirtualDesktop::ElementTarget VirtualDesktop::checkElementLocked(const AXElement& element) {
    if (!accessibilityTrusted_) return {axerror::apiDisabled, 0};
    if (element.kind() == AXElement::Kind::systemWide) return {};
    ProcessID owner = 0;
    double timeout = 0;
    if (element.kind() == AXElement::Kind::application) {
        owner = static_cast<ProcessID>(element.identity());
    } else {
        auto it = nodes_.find(element.identity());
        if (it == nodes_.end()) return {axerror::invalidUIElement, 0};
        owner = it->second.owner;
        timeout = it->second.messagingTimeout;
    }
    auto* application = applicationLocked(owner);
    if (!application) return {axerror::invalidUIElement, 0};
    if (element.kind() == AXElement::Kind::application) timeout = application->messagingTimeout;
    if (application->spec.responsive) return {};
    if (timeout <= 0) timeout = systemWideTimeout_ > 0 ? systemWideTimeout_ : defaultMessagingTimeout;
    return {axerror::cannotComplete, timeout};
}

AXAttributeResult VirtualDesktop::copyAttribute(const AXElement& element, const std::string& name) {
    double block = 0;
    AXAttributeResult result;
    {
        auto lock = settle();
        const auto target = checkElementLocked(element);
        if (target.error != axerror::success) {
            block = target.blockSeconds;
            result.error = target.error;
        } else {
            result = readAttributeLocked(element, name);
        }
    }
    // An application that does not answer holds the caller for the timeout.
    if (block > 0) clock_.sleep(block);
    return result;
}

AXAttributeResult VirtualDesktop::readAttributeLocked(const AXElement& element, const std::string& name) {
    if (element.kind() == AXElement::Kind::application) {
        return readApplicationAttributeLocked(*applicationLocked(static_cast<ProcessID>(element.identity())), name);
    }
    if (element.kind() == AXElement::Kind::node) return readNodeAttributeLocked(nodes_.at(element.identity()), name);
    if (name == "AXRole") return found(std::string("AXSystemWide"));
    if (name == "AXFocusedApplication") {
        return applicationLocked(active_) ? found(applicationElement(active_)) : missing();
    }
    if (name == "AXFocusedUIElement") {
        const NodeID field = focusedTextFieldLocked();
        return field ? found(AXElement(AXElement::Kind::node, field)) : missing();
    }
    return unsupported();
}

AXAttributeResult VirtualDesktop::readApplicationAttributeLocked(Application& application, const std::string& name) {
    std::vector<AXElement> windowElements;
    std::optional<AXElement> focusedWindow;
    for (auto number : application.windows) {
        const auto& window = windows_.at(number);
        windowElements.emplace_back(AXElement::Kind::node, window.node);
        if (!focusedWindow && !window.minimized) focusedWindow = AXElement(AXElement::Kind::node, window.node);
    }
    if (name == "AXRole") return found(std::string("AXApplication"));
    if (name == "AXTitle") return found(application.spec.name);
    if (name == "AXMenuBar") {
        // A menu-bar agent without menus of its own has no menu bar.
        const bool hasMenuBar =
            application.spec.activationPolicy == ActivationPolicy::regular || !application.spec.menus.empty();
        return hasMenuBar ? found(AXElement(AXElement::Kind::node, application.menuBar)) : missing();
    }
    if (name == "AXWindows") return found(windowElements);
    if (name == "AXFocusedWindow") return focusedWindow ? found(*focusedWindow) : missing();
    if (name == "AXChildren") {
        windowElements.emplace_back(AXElement::Kind::node, application.menuBar);
        return found(windowElements);
    }
    if (name == "AXFocusedUIElement") {
        for (auto number : application.windows) {
            const auto& window = windows_.at(number);
            if (!window.minimized) {
                return window.textField ? found(AXElement(AXElement::Kind::node, window.textField)) : missing();
            }
        }
        return missing();
    }
    return unsupported();
}

AXAttributeResult VirtualDesktop::readNodeAttributeLocked(const Node& node, const std::string& name) {
    const Window* window = node.window ? &windows_.at(node.window) : nullptr;
    if (name == "AXRole") return found(node.role);
    if (name == "AXSubrole") return node.subrole ? found(*node.subrole) : unsupported();
    if (name == "AXTitle") {
        if (window) return found(window->title);
        return node.title ? found(*node.title) : unsupported();
    }
    if (name == "AXChildren") {
        std::vector<AXElement> children;
        for (auto child : node.children) children.emplace_back(AXElement::Kind::node, child);
        return found(children);
    }
    if (name == "AXParent") {
        if (node.parent != 0) return found(AXElement(AXElement::Kind::node, node.parent));
        return found(applicationElement(node.owner));
    }
    if (name == "AXEnabled") return node.enabled ? found(*node.enabled) : unsupported();
    if (name == "AXValue") return node.value ? found(*node.value) : unsupported();
    if (name == "AXDescription") return node.description ? found(*node.description) : unsupported();
    if (name == "AXMenuItemCmdChar" || name == "AXMenuItemCmdModifiers") {
        if (!node.isMenuItem) return unsupported();
        if (name == "AXMenuItemCmdChar") {
            return node.commandCharacter ? found(*node.commandCharacter) : AXAttributeResult{axerror::success, {}};
        }
        return node.commandModifiers ? found(*node.commandModifiers) : AXAttributeResult{axerror::success, {}};
    }
    if (name == "AXCancelButton") {
        if (node.role != "AXSheet" && !node.modal) return unsupported();
        return node.cancelButton ? found(AXElement(AXElement::Kind::node, node.cancelButton)) : missing();
    }
    if (name == "AXSelectedTextRange" && node.role == "AXTextField") return found(node.selection);
    if (window && name == "AXModal") return found(node.modal);
    return unsupported();
}

AXError VirtualDesktop::setAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
    double block = 0;
    AXError error = axerror::success;
    {
        auto lock = settle();
        const auto target = checkElementLocked(element);
        block = target.blockSeconds;
        error = target.error == axerror::success ? writeAttributeLocked(element, name, value) : target.error;
    }
    if (block > 0) clock_.sleep(block);
    return error;
}

AXError VirtualDesktop::writeAttributeLocked(const AXElement& element, const std::string& name, const AXValue& value) {
    if (element.kind() != AXElement::Kind::node) return axerror::attributeUnsupported;
    Node& node = nodes_.at(element.identity());
    auto* application = applicationLocked(node.owner);
    if (node.role == "AXTextField" && name == "AXValue") {
        const auto* text = std::get_if<std::string>(&value);
        if (!text) return axerror::illegalArgument;
        if (!textFieldsKeepValue_) node.value = *text;
        const auto length = icu::UnicodeString::fromUTF8(*text).length();
        node.selection.location = std::min<std::int64_t>(node.selection.location, length);
        node.selection.length = std::min<std::int64_t>(node.selection.length, length - node.selection.location);
    } else if (node.role == "AXTextField" && name == "AXSelectedTextRange") {
        const auto* range = std::get_if<TextRange>(&value);
        const auto length = icu::UnicodeString::fromUTF8(node.value.value_or("")).length();
        if (!range || range->location < 0 || range->length < 0 || range->location > length ||
            range->length > length - range->location) {
            return axerror::illegalArgument;
        }
        node.selection = *range;
    } else {
        return axerror::attributeUnsupported;
    }
    recordLocked("setAttribute", application->spec.bundleIdentifier,
                 elementPathLocked(node.id) + " " + name + " = " + describe(value));
    return axerror::success;
}

AXError VirtualDesktop::performAction(const AXElement& element, const std::string& action) {
    double block = 0;
    AXError error = axerror::success;
    {
        auto lock = settle();
        const auto target = checkElementLocked(element);
        block = target.blockSeconds;
        error = target.error == axerror::success ? performLocked(element, action) : target.error;
    }
    if (block > 0) clock_.sleep(block);
    return error;
}

AXError VirtualDesktop::performLocked(const AXElement& element, const std::string& action) {
    if (element.kind() != AXElement::Kind::node) return axerror::actionUnsupported;
    const Node& node = nodes_.at(element.identity());
    auto* application = applicationLocked(node.owner);
    const bool pressable = node.role == "AXMenuItem" || node.role == "AXMenuBarItem" || node.role == "AXButton";
    if (action != "AXPress" || !pressable) return axerror::actionUnsupported;
    if (node.enabled == false) return axerror::cannotComplete;
    recordLocked("press", application->spec.bundleIdentifier, elementPathLocked(node.id));
    // The effects may remove the pressed element; work from copies.
    const auto effects = node.effects;
    runEffectsLocked(node.owner, node.id, effects);
    return axerror::success;
}

VirtualDesktop::NodeID VirtualDesktop::focusedTextFieldLocked() {
    auto* application = applicationLocked(active_);
    if (!application) return 0;
    for (auto number : application->windows) {
        const auto& window = windows_.at(number);
        if (!window.minimized) return window.textField;
    }
    return 0;
}

void VirtualDesktop::setTextFieldsKeepValue(bool keep) {
    auto lock = settle();
    textFieldsKeepValue_ = keep;
}

void VirtualDesktop::setFocusedTextSelection(TextRange range) {
    auto lock = settle();
    if (const NodeID field = focusedTextFieldLocked()) nodes_.at(field).selection = range;
}

void VirtualDesktop::insertTextLocked(const std::string& text) {
    const NodeID field = focusedTextFieldLocked();
    if (field == 0) return;
    Node& node = nodes_.at(field);
    auto value = icu::UnicodeString::fromUTF8(node.value.value_or(""));
    const auto inserted = icu::UnicodeString::fromUTF8(text);
    const auto location = std::clamp<std::int64_t>(node.selection.location, 0, value.length());
    const auto length = std::clamp<std::int64_t>(node.selection.length, 0, value.length() - location);
    value.replace(static_cast<std::int32_t>(location), static_cast<std::int32_t>(length), inserted);
    std::string result;
    value.toUTF8String(result);
    node.value = result;
    node.selection = {location + inserted.length(), 0};
}

}  // namespace zentrabo::platform
