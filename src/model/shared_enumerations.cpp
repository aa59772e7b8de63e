#include "model/shared_enumerations.hpp"

namespace zentrabo {

std::string_view title(HalvardineExtraAuthorizationScope scope) {
    switch (scope) {
    case HalvardineExtraAuthorizationScope::stream:
        return "Stream";
    case HalvardineExtraAuthorizationScope::files:
        return "Files";
    case HalvardineExtraAuthorizationScope::workflows:
        return "Workflows";
    }
    return {};
}

std::string_view title(HalvardineExtraAuthorizationChannel channel) {
    switch (channel) {
    case HalvardineExtraAuthorizationChannel::local:
        return "Local";
    case HalvardineExtraAuthorizationChannel::relay:
        return "Relay";
    }
    return {};
}

std::string_view title(HalvardineExtraAuthorizationSessionDuration duration) {
    switch (duration) {
    case HalvardineExtraAuthorizationSessionDuration::background:
        return "Enter Background";
    case HalvardineExtraAuthorizationSessionDuration::short_:
        return "5 min";
    case HalvardineExtraAuthorizationSessionDuration::standard:
        return "15 min";
    case HalvardineExtraAuthorizationSessionDuration::long_:
        return "60 min";
    }
    return {};
}

std::string_view summary(HalvardineExtraAuthorizationSessionDuration duration) {
    switch (duration) {
    case HalvardineExtraAuthorizationSessionDuration::background:
        return "until the client app enters background";
    case HalvardineExtraAuthorizationSessionDuration::short_:
        return "5 minutes";
    case HalvardineExtraAuthorizationSessionDuration::standard:
        return "15 minutes";
    case HalvardineExtraAuthorizationSessionDuration::long_:
        return "60 minutes";
    }
    return {};
}

double timeInterval(HalvardineExtraAuthorizationSessionDuration duration) {
    switch (duration) {
    case HalvardineExtraAuthorizationSessionDuration::background:
        return 3600;
    case HalvardineExtraAuthorizationSessionDuration::short_:
        return 300;
    case HalvardineExtraAuthorizationSessionDuration::standard:
        return 900;
    case HalvardineExtraAuthorizationSessionDuration::long_:
        return 3600;
    }
    return 0;
}

}  // namespace zentrabo
