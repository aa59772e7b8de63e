#pragma once
// The media start of a stream session: it selects what is shown, sizes the
// capture, makes the video and audio encoders and the capture streams (a
// second one for an application's own sound), routes captured frames and
// sound from the capture queue to the encoder queue and starts capture,
// retrying once without audio when a capture with audio cannot start.
#include <memory>

#include <asio/awaitable.hpp>

#include "screenstream/video_encoder.hpp"

namespace zentrabo {

class RemoteScreenStreamSession;

// The session's video encoder for a picture size and rate: the request's
// codec and bitrate, its frames sent by the session while it lives (held
// weakly). Throws RemoteScreenStreamServerError::encodingFailed.
std::unique_ptr<VideoEncoder> makeSessionVideoEncoder(RemoteScreenStreamSession& session, int width, int height,
                                                      int framesPerSecond);

// Throws what ends the stream: the selection's, the encoder's or the
// capture's error.
asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session);

}  // namespace zentrabo
