#pragma once
// A capture stream operation's answer, awaited on the coroutine's own
// executor (see platform::awaitAnswer). A cancellation of the coroutine
// throws operation_aborted. A completion the stream lets go unanswered
// throws ScreenCaptureError ("The capture stream did not answer."), or, for
// a wait with a deadline of its own that reports it, counts as no answer.
#include <functional>
#include <optional>

#include <asio/awaitable.hpp>

#include "platform/desktop/capture_stream.hpp"
#include "platform/dispatch/awaited_answer.hpp"

namespace zentrabo {

using CaptureResult = std::optional<platform::ScreenCaptureError>;

enum class DroppedCaptureAnswer { fails, waitsForTheDeadline };

asio::awaitable<CaptureResult> captureAnswer(const std::function<void(platform::CaptureStream::Completion)>& operation,
                                             DroppedCaptureAnswer dropped = DroppedCaptureAnswer::fails);

}  // namespace zentrabo
