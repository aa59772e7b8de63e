#include "platform/desktop/pulse/pulse_server_check.hpp"

namespace zentrabo::platform {

std::string soundProblemText(const PulseError& error) {
    if (const auto* unreachable = dynamic_cast<const PulseUnreachable*>(&error)) {
        return "no sound server answers (" + unreachable->reason() + ")";
    }
    return error.what();
}

std::optional<std::string> pulseServerProblem() {
    try {
        PulseConnection connection("sound check");
        return std::nullopt;
    } catch (const PulseError& error) {
        return soundProblemText(error);
    }
}

}  // namespace zentrabo::platform
