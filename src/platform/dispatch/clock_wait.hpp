#pragma once
// A coroutine's wait on the injected clock: the coroutine is suspended and
// holds no thread until the clock's timer fires on its executor. Cancelling
// the awaiting operation (through its cancellation slot, as a coroutine
// spawned with one is cancelled) cancels the timer and ends the wait with
// asio::error::operation_aborted, which use_awaitable throws.
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

#include <asio/any_io_executor.hpp>
#include <asio/associated_cancellation_slot.hpp>
#include <asio/associated_executor.hpp>
#include <asio/async_result.hpp>
#include <asio/awaitable.hpp>
#include <asio/dispatch.hpp>
#include <asio/error.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include "platform/dispatch/clock.hpp"

namespace zentrabo::platform {

namespace detail {

// One wait: completed once, by the timer or by a cancellation, both of which
// run on the waiting executor.
template <class Handler>
struct ClockWait {
    explicit ClockWait(Handler h) : handler(std::move(h)) {}

    void complete(std::error_code error) {
        if (!handler) return;
        auto slot = asio::get_associated_cancellation_slot(*handler);
        if (slot.is_connected()) slot.clear();
        timer.cancel();
        Handler finished = std::move(*handler);
        handler.reset();
        const auto executor = asio::get_associated_executor(finished);
        asio::dispatch(executor, [finished = std::move(finished), error]() mutable { finished(error); });
    }

    std::optional<Handler> handler;
    Timer timer;
};

}  // namespace detail

template <class CompletionToken>
auto asyncWait(Clock& clock, asio::any_io_executor executor, double seconds, CompletionToken&& token) {
    return asio::async_initiate<CompletionToken, void(std::error_code)>(
        [&clock, executor = std::move(executor), seconds](auto handler) {
            using Handler = decltype(handler);
            auto wait = std::make_shared<detail::ClockWait<Handler>>(std::move(handler));
            auto slot = asio::get_associated_cancellation_slot(*wait->handler);
            if (slot.is_connected()) {
                slot.assign([weak = std::weak_ptr(wait)](asio::cancellation_type) {
                    if (auto pending = weak.lock()) pending->complete(asio::error::operation_aborted);
                });
            }
            // The timer's handler owns the wait until it fires or is cancelled.
            wait->timer = clock.schedule(executor, seconds, [wait] { wait->complete({}); });
        },
        token);
}

// Suspends the calling coroutine for the given seconds on the clock; throws
// asio::system_error (operation_aborted) when it is cancelled meanwhile.
inline asio::awaitable<void> sleepFor(Clock& clock, double seconds) {
    co_await asyncWait(clock, co_await asio::this_coro::executor, seconds, asio::use_awaitable);
}

}  // namespace zentrabo::platform
