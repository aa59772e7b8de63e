#include "screenstream/accessibility_error_description.hpp"

namespace zentrabo {

std::string accessibilityErrorDescription(platform::AXError error) {
    namespace ax = platform::axerror;
    switch (error) {
    case ax::success:
        return "success";
    case ax::failure:
        return "failure";
    case ax::illegalArgument:
        return "illegal argument";
    case ax::invalidUIElement:
        return "invalid UI element";
    case ax::invalidUIElementObserver:
        return "invalid UI element observer";
    case ax::cannotComplete:
        return "cannot complete";
    case ax::attributeUnsupported:
        return "attribute unsupported";
    case ax::actionUnsupported:
        return "action unsupported";
    case ax::notificationUnsupported:
        return "notification unsupported";
    case ax::notImplemented:
        return "not implemented";
    case ax::notificationAlreadyRegistered:
        return "notification already registered";
    case ax::notificationNotRegistered:
        return "notification not registered";
    case ax::apiDisabled:
        return "accessibility API disabled";
    case ax::noValue:
        return "no value";
    case ax::parameterizedAttributeUnsupported:
        return "parameterized attribute unsupported";
    default:
        return "unknown accessibility error";
    }
}

}  // namespace zentrabo
