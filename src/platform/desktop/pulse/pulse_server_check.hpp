#pragma once
// The session's sound server as the user is told of it.
#include <optional>
#include <string>

#include "platform/desktop/pulse/pulse_connection.hpp"

namespace zentrabo::platform {

// "no sound server answers (Connection refused)" for a server that cannot be
// reached, else the error's own text.
std::string soundProblemText(const PulseError& error);

// Connects once (waiting at most the connection's bound): none when the
// sound server answers, else the problem's text.
std::optional<std::string> pulseServerProblem();

}  // namespace zentrabo::platform
