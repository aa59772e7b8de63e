#pragma once
// The device's input to a stream, each applied on the session's control
// strand: pointer and head pose move the pointer, pasted text and keys go
// through the stream server's controller (answered with a command result),
// and a window resize is answered once the stream has followed it.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include <asio/awaitable.hpp>

#include "model/records/stream_input_records.hpp"

namespace zentrabo {

class RemoteScreenStreamSession;

void handlePointerEvent(RemoteScreenStreamSession& session, const RemoteScreenPointerEvent& event);
void handleHeadTrackingEvent(RemoteScreenStreamSession& session, const RemoteScreenHeadPoseEvent& event);
void handlePasteText(RemoteScreenStreamSession& session, std::span<const std::uint8_t> payload);
void handleKeyboardEvent(RemoteScreenStreamSession& session, std::span<const std::uint8_t> payload);
// A coroutine that holds the session only between its waits.
asio::awaitable<void> handleResizeWindow(std::weak_ptr<RemoteScreenStreamSession> weakSession,
                                         std::vector<std::uint8_t> payload);

}  // namespace zentrabo
