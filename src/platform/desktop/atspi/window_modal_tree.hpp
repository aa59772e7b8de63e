#pragma once
// The tree as the dialog walks read it on the accessibility thread: a
// window the bus does not call modal blocks its application when the
// window system says so (a toolkit that keeps the modality to the window
// manager's hints, or to the shell's window type).
#include <functional>
#include <string>
#include <variant>
#include <vector>

#include "platform/desktop/atspi/accessible_window.hpp"
#include "platform/desktop/atspi/atspi_tree.hpp"

namespace zentrabo::platform {

struct WindowModalTree {
    AtspiTree& tree;
    const std::function<bool(const AccessibleWindow&)>& windowIsModal;

    AXAttributeResult copyAttribute(const AXElement& element, const std::string& name) {
        auto answer = tree.copyAttribute(element, name);
        if (name != "AXModal" || element.kind() != AXElement::Kind::node) return answer;
        const bool* flag = answer.value ? std::get_if<bool>(&*answer.value) : nullptr;
        if (answer.error != axerror::success || !flag || *flag) return answer;
        const auto window = tree.windowOf(element);
        if (window.error != axerror::success) return answer;
        return {axerror::success, windowIsModal(window.window)};
    }
    AXError childElements(const AXElement& element, std::vector<AXElement>& children) {
        return tree.childElements(element, children);
    }
    AXError performAction(const AXElement& element, const std::string& action) {
        return tree.performAction(element, action);
    }
    AXError setAttribute(const AXElement& element, const std::string& name, const AXValue& value) {
        return tree.setAttribute(element, name, value);
    }
};

}  // namespace zentrabo::platform
