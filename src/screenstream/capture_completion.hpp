#pragma once
// Awaiting a capture stream operation's completion, which may come on any
// thread and even before the operation has returned; the coroutine resumes
// on its own executor.
#include <functional>
#include <memory>
#include <optional>

#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

#include "platform/desktop/capture_stream.hpp"

namespace zentrabo {

using CaptureResult = std::optional<platform::ScreenCaptureError>;

// A completion that is dropped without being called ends the awaiting
// coroutine's frames without resuming it.
inline asio::awaitable<CaptureResult> completionOf(
    const std::function<void(platform::CaptureStream::Completion)>& operation) {
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>, void(CaptureResult)>(
        [&operation](auto handler) {
            auto shared = std::make_shared<decltype(handler)>(std::move(handler));
            operation([shared](CaptureResult result) {
                const auto executor = asio::get_associated_executor(*shared);
                asio::post(executor, [shared, result = std::move(result)]() mutable { (*shared)(std::move(result)); });
            });
        },
        asio::use_awaitable);
}

}  // namespace zentrabo
