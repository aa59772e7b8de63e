#pragma once
// The start lines a user (or a script driving the binary) waits for.
#include <functional>
#include <string_view>

#include "server/connection/listener_status.hpp"

namespace zentrabo {

// Prints "Listening on port <port>" each time the listener becomes ready on
// a new port, followed the first time by "Server fingerprint: <hex>", and
// "Not listening." when a listener that was announced stops.
void announceListening(const ListenerStatus& listener, std::function<void(std::string_view)> writeLine);

}  // namespace zentrabo
