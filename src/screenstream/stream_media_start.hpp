#pragma once
// What a session's start does after the permission check: choose the
// content, start capture and the encoders (the capture start, which the
// server's environment supplies; startCaptureMedia in capture_start.hpp is
// the real one). It runs on the stream server's timer
// thread; its waits go through the session's clock, so stop() cancels them.
// A throw ends the stream with the error's text.
#include <functional>

#include <asio/awaitable.hpp>

namespace zentrabo {

class RemoteScreenStreamSession;

using StreamMediaStart = std::function<asio::awaitable<void>(RemoteScreenStreamSession& session)>;

}  // namespace zentrabo
