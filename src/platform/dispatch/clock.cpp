#include "platform/dispatch/clock.hpp"

#include <asio/post.hpp>
#include <asio/redirect_error.hpp>
#include <asio/steady_timer.hpp>
#include <asio/this_coro.hpp>
#include <asio/use_awaitable.hpp>

#include <algorithm>
#include <cmath>
#include <system_error>
#include <utility>

namespace zentrabo::platform {

namespace detail {

TimerEntry::TimerEntry(std::function<void()> handler) : handler_(std::move(handler)) {}

std::optional<std::function<void()>> TimerEntry::finish() {
    std::lock_guard lock(mutex_);
    if (done_) return std::nullopt;
    done_ = true;
    return std::move(handler_);
}

void TimerEntry::fire() {
    if (auto handler = finish(); handler && *handler) (*handler)();
}

void TimerEntry::cancel() {
    // The handler is released after onCancel, outside the lock.
    const auto released = finish();
    if (released) onCancel();
}

bool TimerEntry::isFinished() const {
    std::lock_guard lock(mutex_);
    return done_;
}

}  // namespace detail

Timer::Timer(std::shared_ptr<detail::TimerEntry> entry) : entry_(std::move(entry)) {}

Timer::~Timer() { cancel(); }

Timer& Timer::operator=(Timer&& other) noexcept {
    if (this != &other) {
        cancel();
        entry_ = std::move(other.entry_);
    }
    return *this;
}

void Timer::cancel() {
    if (entry_) {
        entry_->cancel();
        entry_.reset();
    }
}

namespace {

double clampedDelay(double seconds) { return std::isnan(seconds) ? 0.0 : std::max(seconds, 0.0); }

}  // namespace

Timer Clock::schedule(const asio::any_io_executor& executor, double delaySeconds, std::function<void()> handler) {
    return Timer(start(executor, clampedDelay(delaySeconds), std::move(handler)));
}

void Clock::postAfter(const asio::any_io_executor& executor, double delaySeconds, std::function<void()> handler) {
    start(executor, clampedDelay(delaySeconds), std::move(handler));
}

asio::awaitable<void> Clock::delay(double delaySeconds) {
    // Named: GCC 12 builds a co_await inside an if condition into a trap.
    const bool elapsed = co_await watch(delaySeconds);
    if (!elapsed) throw std::system_error(asio::error::operation_aborted);
}

asio::awaitable<bool> Clock::watch(double delaySeconds) {
    const auto executor = co_await asio::this_coro::executor;
    // The coroutine waits on an Asio timer of its own executor that never
    // expires by itself: the clock's handler wakes it, and the coroutine's
    // cancellation slot ends its wait. Its executor owns the wait, so a
    // coroutine that never resumes goes with that executor's context.
    auto wake = std::make_shared<asio::steady_timer>(executor, asio::steady_timer::time_point::max());
    auto elapsed = std::make_shared<bool>(false);
    const Timer timer = schedule(executor, delaySeconds, [weakWake = std::weak_ptr(wake), elapsed] {
        *elapsed = true;
        if (const auto wake = weakWake.lock()) wake->cancel();
    });
    std::error_code ignored;
    co_await wake->async_wait(asio::redirect_error(asio::use_awaitable, ignored));
    co_return *elapsed;
}

void Clock::runLoopTurn(double limitSeconds) {
    double step = clampedDelay(limitSeconds);
    NextDueHook hook;
    {
        std::lock_guard lock(hookMutex_);
        hook = nextDueHook_;
    }
    if (hook) {
        if (const std::optional<double> due = hook()) {
            step = std::min(step, clampedDelay(*due - monotonicNow()));
        }
    }
    sleep(step);
}

void Clock::setNextDueHook(NextDueHook hook) {
    std::lock_guard lock(hookMutex_);
    nextDueHook_ = std::move(hook);
}

}  // namespace zentrabo::platform
