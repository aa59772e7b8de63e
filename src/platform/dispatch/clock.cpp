#include "platform/dispatch/clock.hpp"

#include <asio/post.hpp>

#include <algorithm>
#include <cmath>
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
