#include "server/connection/screen_stream_error.hpp"

#include <string>

#include "screenstream/codec/remote_screen_stream_wire.hpp"

namespace zentrabo {

void sendScreenStreamError(std::string_view message, ServerConnection& connection) {
    const auto frame = encodedScreenStreamErrorFrame(message);
    connection.sendFinal(std::string(frame.begin(), frame.end()), screenStreamErrorCloseDelay);
}

}  // namespace zentrabo
