#pragma once
// The start lines a user (or a script driving the binary) waits for, and the
// failures that must not pass unseen.
#include <functional>
#include <string_view>

#include "server/connection/listener_status.hpp"

namespace zentrabo {

using LineWriter = std::function<void(std::string_view)>;

// On `writeLine`: "Listening on port <port>" each time the listener becomes
// ready on a new port, followed the first time by "Server fingerprint: <hex>"
// and then by what `nextSteps` writes (what the user can do now).
// On `writeProblem`: "Not listening: <reason>" whenever the listener fails,
// "Not advertised: <reason>" once when the DNS-SD advertisement fails or is
// lost, and "Advertised as <name>" when it recovers.
void announceListening(const ListenerStatus& listener, LineWriter writeLine, LineWriter writeProblem,
                       std::function<void()> nextSteps = {});

}  // namespace zentrabo
