// The string forms of the scenario's enumerations.
#include "platform/desktop/virtual/desktop_scenario.hpp"

namespace zentrabo::platform {

std::string_view rawValue(EffectKind kind) {
    switch (kind) {
    case EffectKind::openSheet:
        return "openSheet";
    case EffectKind::dismissSheet:
        return "dismissSheet";
    case EffectKind::activateApplication:
        return "activateApplication";
    case EffectKind::quitApplication:
        return "quitApplication";
    case EffectKind::openWindow:
        return "openWindow";
    case EffectKind::closeWindow:
        return "closeWindow";
    }
    return "dismissSheet";
}

bool fromRawValue(std::string_view text, EffectKind& kind) {
    for (auto candidate : {EffectKind::openSheet, EffectKind::dismissSheet, EffectKind::activateApplication,
                           EffectKind::quitApplication, EffectKind::openWindow, EffectKind::closeWindow}) {
        if (rawValue(candidate) == text) {
            kind = candidate;
            return true;
        }
    }
    return false;
}

std::string_view rawValue(ApplicationFolder folder) { return folder == ApplicationFolder::user ? "user" : "system"; }

bool fromRawValue(std::string_view text, ApplicationFolder& folder) {
    if (text == "system") {
        folder = ApplicationFolder::system;
    } else if (text == "user") {
        folder = ApplicationFolder::user;
    } else {
        return false;
    }
    return true;
}

}  // namespace zentrabo::platform
