// The string forms of the desktop layer's enumerations.
#include "platform/desktop/login_item.hpp"
#include "platform/desktop/running_application.hpp"

namespace zentrabo::platform {

std::string_view rawValue(ActivationPolicy policy) {
    switch (policy) {
    case ActivationPolicy::regular:
        return "regular";
    case ActivationPolicy::accessory:
        return "accessory";
    case ActivationPolicy::prohibited:
        return "prohibited";
    }
    return "regular";
}

bool fromRawValue(std::string_view text, ActivationPolicy& policy) {
    for (auto candidate : {ActivationPolicy::regular, ActivationPolicy::accessory, ActivationPolicy::prohibited}) {
        if (rawValue(candidate) == text) {
            policy = candidate;
            return true;
        }
    }
    return false;
}

std::string_view rawValue(LoginItemStatus status) {
    switch (status) {
    case LoginItemStatus::notRegistered:
        return "notRegistered";
    case LoginItemStatus::enabled:
        return "enabled";
    case LoginItemStatus::requiresApproval:
        return "requiresApproval";
    case LoginItemStatus::notFound:
        return "notFound";
    }
    return "notFound";
}

bool fromRawValue(std::string_view text, LoginItemStatus& status) {
    for (auto candidate : {LoginItemStatus::notRegistered, LoginItemStatus::enabled, LoginItemStatus::requiresApproval,
                           LoginItemStatus::notFound}) {
        if (rawValue(candidate) == text) {
            status = candidate;
            return true;
        }
    }
    return false;
}

}  // namespace zentrabo::platform
