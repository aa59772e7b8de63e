#pragma once

#include <asio/any_io_executor.hpp>
#include <asio/awaitable.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/use_awaitable.hpp>

namespace zentrabo::platform {

// Wakes one coroutine waiting on its serial executor. A notify with no waiter
// is not remembered, so a waiter always re-checks its condition in a loop:
//   while (!ready()) co_await signal.wait();
// Safe because waiter and notifier share one thread: nothing can change
// between the check and the start of the wait.
class CoroutineSignal {
public:
    explicit CoroutineSignal(const asio::any_io_executor& executor)
        : timer_(executor, asio::steady_timer::time_point::max()) {}

    asio::awaitable<void> wait() {
        asio::error_code ignored;
        co_await timer_.async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    }

    void notify() { timer_.cancel(); }

private:
    asio::steady_timer timer_;
};

}  // namespace zentrabo::platform
