#pragma once

#include <string_view>

#include "server/connection/server_connection.hpp"

namespace zentrabo {

// Seconds between sending a stream's error frame and closing its connection.
inline constexpr double screenStreamErrorCloseDelay = 0.1;

// From any thread: sends the error frame that refuses or ends a stream (kind
// error, flags, sequence number and times 0, the message's UTF-8 bytes as
// payload) as the connection's last message, and closes the connection
// screenStreamErrorCloseDelay after the frame has gone out.
void sendScreenStreamError(std::string_view message, ServerConnection& connection);

}  // namespace zentrabo
