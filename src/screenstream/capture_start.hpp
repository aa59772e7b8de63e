#pragma once
// The media start of a stream session: it selects what is shown (switching
// the display to the device's mode first when the request asks for it),
// stores the selection in the session and starts the session's pipeline on
// the desktop's own stages.
#include <asio/awaitable.hpp>

namespace zentrabo {

class RemoteScreenStreamSession;
struct SelectedContent;

// At the start: switches the selection's display for the device's pixels
// when the request asks for it; true when the display was switched.
bool applyClientNativeDisplayModeIfNeeded(RemoteScreenStreamSession& session, const SelectedContent& selected);

// Throws what ends the stream: the selection's, the encoder's or the
// capture's error.
asio::awaitable<void> startCaptureMedia(RemoteScreenStreamSession& session);

}  // namespace zentrabo
