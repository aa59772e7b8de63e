#pragma once
// Awaiting a capture stream operation's completion, which may come on any
// thread and even before the operation has returned; the coroutine resumes
// on its own executor.
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <utility>

#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/error.hpp>
#include <asio/post.hpp>
#include <asio/use_awaitable.hpp>

#include "platform/desktop/capture_stream.hpp"

namespace zentrabo {

using CaptureResult = std::optional<platform::ScreenCaptureError>;

namespace detail {

// The awaiting coroutine's handler until the completion, its drop or a
// cancellation takes it, whichever comes first; the others find it gone.
template <class Handler>
class PendingCaptureCompletion : public std::enable_shared_from_this<PendingCaptureCompletion<Handler>> {
public:
    explicit PendingCaptureCompletion(Handler handler)
        : executor_(asio::get_associated_executor(handler)), handler_(std::move(handler)) {}

    // Resumes the coroutine on its executor.
    void resumeLater(std::exception_ptr failure, CaptureResult result) {
        asio::post(executor_,
                   [self = this->shared_from_this(), failure = std::move(failure),
                    result = std::move(result)]() mutable { self->resume(std::move(failure), std::move(result)); });
    }

private:
    void resume(std::exception_ptr failure, CaptureResult result) {
        std::optional<Handler> taken;
        {
            std::lock_guard guard(mutex_);
            if (!handler_) return;
            taken.emplace(std::move(*handler_));
            handler_.reset();
        }
        asio::get_associated_cancellation_slot(*taken).clear();
        std::move (*taken)(std::move(failure), std::move(result));
    }

    asio::associated_executor_t<Handler> executor_;
    std::mutex mutex_;
    std::optional<Handler> handler_;
};

// Shared by every copy of the completion handed to the operation: when the
// last one goes without having been called, the operation will never answer.
template <class Pending>
struct CaptureCompletionAnswer {
    explicit CaptureCompletionAnswer(std::shared_ptr<Pending> pending) : pending(std::move(pending)) {}
    CaptureCompletionAnswer(const CaptureCompletionAnswer&) = delete;
    CaptureCompletionAnswer& operator=(const CaptureCompletionAnswer&) = delete;
    ~CaptureCompletionAnswer() {
        if (pending) {
            pending->resumeLater(
                std::make_exception_ptr(platform::ScreenCaptureError("The capture stream did not answer.")),
                std::nullopt);
        }
    }

    std::mutex mutex;
    std::shared_ptr<Pending> pending;
};

}  // namespace detail

// The operation's answer. A completion dropped unanswered throws
// ScreenCaptureError ("The capture stream did not answer."). A cancellation
// of the awaiting coroutine (a stop, or the watchdog it is raced against
// with operator||) ends the wait with operation_aborted, thrown; an answer
// that comes later is ignored.
inline asio::awaitable<CaptureResult> completionOf(
    const std::function<void(platform::CaptureStream::Completion)>& operation) {
    co_return co_await asio::async_initiate<const asio::use_awaitable_t<>, void(std::exception_ptr, CaptureResult)>(
        [&operation](auto handler) {
            using Pending = detail::PendingCaptureCompletion<decltype(handler)>;
            auto slot = asio::get_associated_cancellation_slot(handler);
            auto pending = std::make_shared<Pending>(std::move(handler));
            if (slot.is_connected()) {
                slot.assign([weakPending = std::weak_ptr<Pending>(pending)](asio::cancellation_type) {
                    if (auto owner = weakPending.lock()) {
                        owner->resumeLater(std::make_exception_ptr(std::system_error(asio::error::operation_aborted)),
                                           std::nullopt);
                    }
                });
            }
            auto answer = std::make_shared<detail::CaptureCompletionAnswer<Pending>>(std::move(pending));
            operation([answer](CaptureResult result) {
                std::shared_ptr<Pending> answered;
                {
                    std::lock_guard guard(answer->mutex);
                    answered = std::move(answer->pending);
                }
                if (answered) answered->resumeLater(nullptr, std::move(result));
            });
        },
        asio::use_awaitable);
}

}  // namespace zentrabo
