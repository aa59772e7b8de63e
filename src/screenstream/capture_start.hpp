#pragma once
// The media start of a stream session: it selects what is shown, sizes the
// capture, makes the video and audio encoders and the capture streams (a
// second one for an application's own sound), routes captured frames and
// sound from the capture queue to the encoder queue and starts capture,
// retrying once without audio when a capture with audio cannot start.
#include <asio/awaitable.hpp>

namespace zentrabo {

class RemoteScreenStreamSession;

// Throws what ends the stream: the selection's, the encoder's or the
// capture's error.
asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session);

}  // namespace zentrabo
