#pragma once
// What a session's start does after the permission check: choose the
// content, start capture and the encoders (the capture start, which the
// server's environment supplies). It runs on the stream server's timer
// thread; its waits go through the session's clock, so stop() cancels them.
// A throw ends the stream with the error's text.
#include <functional>

#include <asio/awaitable.hpp>

namespace zentrabo {

class RemoteScreenStreamSession;

using StreamMediaStart = std::function<asio::awaitable<void>(RemoteScreenStreamSession& session)>;

// The media start of a server that cannot capture yet: every stream ends
// with "Screen streaming is not available on this server.".
asio::awaitable<void> startMediaUnavailable(RemoteScreenStreamSession& session);

}  // namespace zentrabo
