#pragma once
// The media start of a stream session: it selects what is shown, sizes the
// capture, makes the video encoder and the capture stream, routes captured
// frames from the capture queue to the encoder queue and starts capture,
// retrying once without audio when a capture with audio cannot start.
#include <asio/awaitable.hpp>

namespace zentrabo {

class RemoteScreenStreamSession;

// Throws what ends the stream: the selection's, the encoder's or the
// capture's error.
asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session);

}  // namespace zentrabo
