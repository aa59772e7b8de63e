#pragma once
// The media start of a stream session: it selects what is shown (switching
// the display to the device's mode first when the request asks for it),
// stores the selection in the session and starts the session's pipeline on
// the desktop's own stages.
#include <asio/awaitable.hpp>

namespace zentrabo {

class RemoteScreenStreamSession;

// Throws what ends the stream: the selection's, the encoder's or the
// capture's error.
asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session);

}  // namespace zentrabo
